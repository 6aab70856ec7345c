# SPDX-License-Identifier: Apache-2.0
# The batch journal: its writer (through the engine's observer calls), its reader (torn and
# hostile lines) and the files of a log folder. The writer reads the batch's rows through the
# headless window.
quillon_unit_tests(journal LIBS quillon_journal quillon_window)
