// SPDX-License-Identifier: Apache-2.0
#include "platform/local_time.h"

namespace quillon {

bool local_time(std::time_t t, std::tm& out) {
    if (localtime_s(&out, &t) == 0) return true;
    out = std::tm{};
    return false;
}

}  // namespace quillon
