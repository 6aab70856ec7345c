// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the main window reads and writes of the upgrade engine. The desktop program hands the
// window a link over the process's engine; window tests can hand it one of their own.
#include <string>

#include "engine/batch_settings.h"

namespace quillon {

class EngineLink {
public:
    virtual ~EngineLink() = default;

    virtual bool running() const = 0;
    // Hands the engine the batch, sets the running flag and wakes the driver, which picks the
    // batch up.
    virtual void start_batch(const BatchSettings& settings) = 0;
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
