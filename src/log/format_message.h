// SPDX-License-Identifier: Apache-2.0
#pragma once
// A message with printf rules and no length limit, for the logs and the debug lines.
#include <cstdarg>
#include <string>

namespace quillon {

// Measured first, then formatted; empty for a format error or an empty message.
std::string format_message(const char* fmt, va_list args);

}  // namespace quillon
