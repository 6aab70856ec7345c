// SPDX-License-Identifier: Apache-2.0
#pragma once
// The local time of a moment (localtime_r on Linux, localtime_s on Windows): thread-safe.
#include <ctime>
#include <string>

namespace quillon {

// False when the moment cannot be shown in local time (`out` is then left zeroed).
bool local_time(std::time_t t, std::tm& out);

// The moment as "YYYY-MM-DD HH:MM:SS" in local time: the one form of the reports' and logs'
// stamps, the device list's begin times and the journal's local times. Empty when the moment
// cannot be shown in local time.
std::string local_time_text(std::time_t t);
// The same for now.
std::string local_time_text();

}  // namespace quillon
