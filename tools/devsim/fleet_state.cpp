// SPDX-License-Identifier: Apache-2.0
#include "fleet_state.h"

namespace quillon::devsim {

FleetState::FleetState(const Fleet& fleet) : fleet_(fleet), rt_(fleet.size()) {
    for (std::size_t i = 0; i < rt_.size(); ++i) rt_[i].version = fleet.devices()[i].version;
}

bool FleetState::is_up(std::size_t i, Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    return !rt_[i].gone && now >= rt_[i].back_at;
}

std::string FleetState::version(std::size_t i) const {
    std::lock_guard lock(mutex_);
    return rt_[i].version;
}

int FleetState::begin_connection(std::size_t i) {
    std::lock_guard lock(mutex_);
    return ++rt_[i].connections;
}

void FleetState::image_written(std::size_t i) {
    std::lock_guard lock(mutex_);
    rt_[i].written = true;
}

void FleetState::reboot(std::size_t i, Clock::time_point now, Clock::duration down) {
    std::lock_guard lock(mutex_);
    Runtime& r = rt_[i];
    r.back_at = now + down;
    if (fleet_.devices()[i].faults.no_return) r.gone = true;
    // Only a device that took an image comes back with another version.
    if (r.written && !fleet_.devices()[i].faults.old_version)
        r.version = fleet_.devices()[i].next_version;
    r.written = false;
}

std::optional<Clock::time_point> FleetState::next_return(Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    std::optional<Clock::time_point> best;
    for (const Runtime& r : rt_)
        if (!r.gone && r.back_at > now && (!best || r.back_at < *best)) best = r.back_at;
    return best;
}

}  // namespace quillon::devsim
