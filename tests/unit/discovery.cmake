# SPDX-License-Identifier: Apache-2.0
# The search exchange (discovery_*) and the device intake (discovery_intake_*), which reads the
# found devices into the headless window.
quillon_unit_tests(discovery LIBS quillon_discovery quillon_discovery_intake quillon_window)
