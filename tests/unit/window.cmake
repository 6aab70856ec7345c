# SPDX-License-Identifier: Apache-2.0
quillon_unit_tests(table LIBS quillon_table)
