// SPDX-License-Identifier: Apache-2.0
#include "log/format_message.h"

#include <cstdio>

namespace quillon {

std::string format_message(const char* fmt, va_list args) {
    va_list measure;
    va_copy(measure, args);
    int n = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace quillon
