# SPDX-License-Identifier: Apache-2.0
quillon_unit_tests(controller LIBS quillon_controller)
