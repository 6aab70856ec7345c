# SPDX-License-Identifier: Apache-2.0
quillon_unit_tests(log LIBS quillon_log)
