// SPDX-License-Identifier: Apache-2.0
#pragma once
// What changes while the simulator runs: which devices are away (rebooting or gone for good),
// their current versions and how many connections each has had. Shared by the discovery and
// upgrade services.
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "fleet.h"

namespace quillon::devsim {

using Clock = std::chrono::steady_clock;

class FleetState {
public:
    explicit FleetState(const Fleet& fleet);

    const Fleet& fleet() const { return fleet_; }
    // Away devices answer no search and take no connection.
    bool is_up(std::size_t i, Clock::time_point now) const;
    std::string version(std::size_t i) const;
    // Counts a new upgrade connection; returns its number, 1 for the first.
    int begin_connection(std::size_t i);
    // The device sent F with value 1: the next reboot brings up the next version.
    void image_written(std::size_t i);
    // A reboot record: away for `down` (for good with the "no-return" fault).
    void reboot(std::size_t i, Clock::time_point now, Clock::duration down);
    // The earliest time after `now` at which an away device comes back, if any.
    std::optional<Clock::time_point> next_return(Clock::time_point now) const;

private:
    struct Runtime {
        std::string version;
        Clock::time_point back_at{};
        bool gone = false;
        bool written = false;
        int connections = 0;
    };
    const Fleet& fleet_;
    mutable std::mutex mutex_;  // owner: this class; a leaf lock, nothing is called while held
    std::vector<Runtime> rt_;
};

}  // namespace quillon::devsim
