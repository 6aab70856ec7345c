# SPDX-License-Identifier: Apache-2.0
# Hostile input: what arrives from the network or from files, at its worst, across modules.
quillon_unit_tests(hostile LIBS quillon_discovery quillon_intake quillon_engine quillon_table quillon_settings
                   quillon_log quillon_texts quillon_platform)
