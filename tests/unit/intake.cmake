# SPDX-License-Identifier: Apache-2.0
quillon_unit_tests(intake LIBS quillon_intake quillon_table)
