# SPDX-License-Identifier: Apache-2.0
quillon_unit_tests(discovery LIBS quillon_discovery)
