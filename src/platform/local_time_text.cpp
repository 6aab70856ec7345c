// SPDX-License-Identifier: Apache-2.0
#include <cstdio>

#include "platform/local_time.h"

namespace quillon {

std::string local_time_text(std::time_t t) {
    std::tm tm{};
    if (!local_time(t, tm)) return {};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string local_time_text() { return local_time_text(std::time(nullptr)); }

}  // namespace quillon
