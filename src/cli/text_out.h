// SPDX-License-Identifier: Apache-2.0
#pragma once
// Turning untrusted bytes (texts from device answers) into safe output: a JSON string, or a
// text that cannot steer a terminal.
#include <string>
#include <string_view>

namespace quillon::cli {

// `text` as a quoted JSON string: quotes, backslashes and control characters escaped, bytes
// that are not valid UTF-8 replaced by U+FFFD, so the result is always valid JSON.
std::string json_string(std::string_view text);

// `text` with control characters (C0, DEL, C1) and invalid UTF-8 bytes replaced by '?'.
std::string terminal_text(std::string_view text);

// Number of characters (code points) of a text made by terminal_text, for lining up columns.
std::size_t display_width(std::string_view text);

}  // namespace quillon::cli
