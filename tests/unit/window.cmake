# SPDX-License-Identifier: Apache-2.0
# The toolkit-free window: the device table and its port (window_table_*), the controller's
# command logic without Qt (window_controller_*).
quillon_unit_tests(window LIBS quillon_window quillon_window_controller)
