# SPDX-License-Identifier: Apache-2.0
# Image slots and package import. The tests write real archives with minizip's zip API.
include(${CMAKE_SOURCE_DIR}/src/cli/package_verb.cmake)
quillon_unit_tests(images LIBS quillon_images quillon_cli_package PkgConfig::MINIZIP ZLIB::ZLIB)
