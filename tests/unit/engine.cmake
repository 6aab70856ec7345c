# SPDX-License-Identifier: Apache-2.0
# Every engine_*_test.cpp in one binary. The driver tests run the engine behind the headless
# window and with the intake's conflict watch, hence quillon_window and quillon_discovery_intake.
quillon_unit_tests(engine LIBS quillon_engine quillon_window quillon_discovery_intake)
