# SPDX-License-Identifier: Apache-2.0
# Image slots and package import. The tests write real archives with minizip's zip API.
quillon_unit_tests(images LIBS quillon_images PkgConfig::MINIZIP ZLIB::ZLIB)
