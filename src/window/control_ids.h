// SPDX-License-Identifier: Apache-2.0
#pragma once
// The numbers of the main window's controls. Every other part of the program names a control by
// its number, and each widget carries its number as its objectName ("1015"), which is how the
// window tests find it.

namespace quillon {

enum ControlId : int {
    IDC_EXIT = 2,  // EXIT, the dialog's cancel button (Escape, close box)
    IDC_BOOT_PATH = 1000,
    IDC_BOOT_BROWSE = 1001,
    IDC_KERNEL_PATH = 1004,
    IDC_KERNEL_BROWSE = 1005,
    IDC_SYSTEM_PATH = 1007,
    IDC_RANGE_START = 1008,  // IPv4 address field
    IDC_SYSTEM_BROWSE = 1009,
    IDC_RANGE_END = 1011,  // last octet of the range
    IDC_WORKER_LABEL = 1012,
    IDC_STATUS_LINE = 1013,
    IDC_DEVICE_LIST = 1014,
    IDC_START = 1015,
    IDC_CONFLICT_TEST = 1016,  // hidden test command
    IDC_FW_PATH = 1018,
    IDC_FW_BROWSE = 1019,
    IDC_ZIP_PATH = 1021,
    IDC_ZIP_BROWSE = 1022,
    IDC_SEARCH = 1023,
    IDC_RANGE_BOX = 1024,
    IDC_THREADS = 1026,
    IDC_TYPE_FILTER = 1027,
    IDC_AUTO_RETRY = 1028,
    IDC_WORKER_VIEW = 1029,
    IDC_CLEAN = 1030,  // CLEAN while idle, STOP during a batch
    IDC_SELECT_ALL = 1032,
    IDC_COUNTER = 1033,
    IDC_FW_CHECK = 1034,
    IDC_SYSTEM_CHECK = 1035,
    IDC_KERNEL_CHECK = 1036,
    IDC_BOOT_CHECK = 1037,
    IDC_ZIP_CHECK = 1038,
    IDC_ADAPTER = 1040,
    IDC_ALL_BAR = 1041,
    IDC_IMG_BAR = 1042,
    IDC_DEV_BAR = 1043,
};

// Image slots 0..3 = BOOT, KERNEL, SYSTEM, FW.
inline constexpr ControlId kSlotCheck[4] = {IDC_BOOT_CHECK, IDC_KERNEL_CHECK, IDC_SYSTEM_CHECK,
                                            IDC_FW_CHECK};
inline constexpr ControlId kSlotPath[4] = {IDC_BOOT_PATH, IDC_KERNEL_PATH, IDC_SYSTEM_PATH,
                                           IDC_FW_PATH};
inline constexpr ControlId kSlotBrowse[4] = {IDC_BOOT_BROWSE, IDC_KERNEL_BROWSE, IDC_SYSTEM_BROWSE,
                                             IDC_FW_BROWSE};

}  // namespace quillon
