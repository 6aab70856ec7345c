// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a front end gives the engine for one batch: START's choices, copied into the engine's
// members by UpgradeEngine::start_batch before the running flag is set.
#include <cstdint>
#include <string>

namespace quillon {

struct BatchSettings {
    std::string url[4];                  // BOOT, KERNEL, SYSTEM, FW paths (at most 1023 bytes each)
    uint32_t ip_begin = 0;               // range start, first octet most significant
    int ip_end = 0;                      // last octet of the range
    int ip_scan = 0;                     // 1 = range mode
    int thread_num = 1;                  // 1..10
    int reboot_after[4] = {0, 0, 0, 0};  // set by the last package import
};

}  // namespace quillon
