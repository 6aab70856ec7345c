// SPDX-License-Identifier: Apache-2.0
#pragma once
// printf-style formatting into a std::string, for the engine's status and cell texts.
#include <cstdint>
#include <string>

namespace quillon {

std::string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// A CRC or other 32-bit value as 8 lower-case hex digits ("0a0b0c0d"), as summaries and journals
// write it.
std::string hex32(uint32_t v);

// "localtime is %2d:%2d:%2d\n" as a diagnostic line, as the connection attempts log it.
void print_local_time();

}  // namespace quillon
