// SPDX-License-Identifier: Apache-2.0
#pragma once
// What one worker is doing, as its status line shows it. The engine keeps one per worker; the
// window, the desktop's worker view and quillon-cli's progress word it (window/device_words.h).
#include <string>

namespace quillon {

// Where one image of a device stands.
enum class ImagePhase { sending, burning, finished };

enum class WorkerActivity {
    idle,         // nothing yet: the status line is empty
    connecting,   // attempt `attempt` to reach the device is under way
    connected,    // the device answered, after `attempt` attempts
    image,        // image `slot` is in `phase`, at `percent` % of the device's own count
    unreachable,  // range mode: the address did not answer the echo
};

struct WorkerStatus {
    WorkerActivity activity = WorkerActivity::idle;
    std::string ip;  // the device's address
    int attempt = 0;
    int slot = 0;  // 0 boot, 1 kernel, 2 system, 3 app
    ImagePhase phase = ImagePhase::sending;
    int percent = 0;

    bool operator==(const WorkerStatus&) const = default;
};

}  // namespace quillon
