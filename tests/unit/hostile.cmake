# SPDX-License-Identifier: Apache-2.0
# Hostile input: what arrives from the network or from files, at its worst, across modules.
quillon_unit_tests(hostile LIBS quillon_discovery quillon_discovery_intake quillon_engine quillon_window quillon_app
                   quillon_log quillon_texts quillon_platform)
