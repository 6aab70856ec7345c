// SPDX-License-Identifier: Apache-2.0
#include "engine/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "log/debug_line.h"
#include "platform/local_time.h"

namespace quillon {

std::string format_text(const char* fmt, ...) {
    char small[256];
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n < 0) return {};
    if (std::size_t(n) < sizeof small) return std::string(small, std::size_t(n));
    std::string out(std::size_t(n), '\0');
    va_start(ap, fmt);
    std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
    va_end(ap);
    return out;
}

void print_local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    local_time(now, tm);
    debug_line("localtime is %2d:%2d:%2d\n", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

}  // namespace quillon
