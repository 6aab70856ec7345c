// SPDX-License-Identifier: Apache-2.0
#pragma once
// The local time of a moment (localtime_r on Linux, localtime_s on Windows): thread-safe.
#include <ctime>

namespace quillon {

// False when the moment cannot be shown in local time (`out` is then left zeroed).
bool local_time(std::time_t t, std::tm& out);

}  // namespace quillon
