// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the main window reads and writes of the upgrade engine. The desktop program hands the
// window a link over the process's engine; window tests can hand it one of their own.
#include <cstdint>
#include <string>

namespace quillon {

// The settings START copies into the engine before it sets the running flag.
struct BatchSettings {
    std::string url[4];                  // BOOT, KERNEL, SYSTEM, FW paths (at most 1023 bytes each)
    uint32_t ip_begin = 0;               // range start, first octet most significant
    int ip_end = 0;                      // last octet of the range
    int ip_scan = 0;                     // 1 = range mode
    int thread_num = 1;                  // 1..10
    int reboot_after[4] = {0, 0, 0, 0};  // set by the last package import
};

class EngineLink {
public:
    virtual ~EngineLink() = default;

    virtual bool running() const = 0;
    virtual void set_batch(const BatchSettings& settings) = 0;
    // Sets the running flag and wakes the driver, which picks the batch up.
    virtual void start_running() = 0;
    // Clears the running flag (a plain store the driver and the workers poll).
    virtual void request_stop() = 0;
    virtual void set_auto_retry(int on) = 0;

    // The viewed worker's status line and bars.
    virtual std::string worker_status(int worker) = 0;
    virtual int img_percent(int worker) = 0;
    virtual int dev_percent(int worker) = 0;

    // Hidden conflict test: worker 0's current address and MAC, and its conflict flag.
    virtual void arm_conflict_probe(const std::string& ip, const std::string& mac) = 0;
    // True (and the flag cleared) when discovery reported a conflict for worker 0; `ip` and
    // `mac` are then worker 0's current address and MAC.
    virtual bool take_conflict(std::string& ip, std::string& mac) = 0;
};

}  // namespace quillon
