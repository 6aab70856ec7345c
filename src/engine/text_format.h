#pragma once
// printf-style formatting into a std::string, for the engine's status and cell texts.
#include <string>

namespace quillon {

std::string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// "localtime is %2d:%2d:%2d\n" on standard output, as the connection attempts log it.
void print_local_time();

}  // namespace quillon
