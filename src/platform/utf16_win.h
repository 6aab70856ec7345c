// SPDX-License-Identifier: Apache-2.0
#pragma once
// UTF-8 inside the program, UTF-16 at the Windows API. Only the Windows build has these.
#include <string>
#include <string_view>

namespace quillon {

// Strict conversions, for names that must stay the same name (paths, program names): false, and
// `out` emptied, when the input is not valid UTF-8 (or UTF-16: a lone surrogate).
bool utf8_to_utf16(std::string_view utf8, std::wstring& out);
bool utf16_to_utf8(std::wstring_view utf16, std::string& out);

// Lenient conversions, for texts that are only shown (messages, adapter names): what is not valid
// becomes U+FFFD.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// The system's message for a Win32 error code (GetLastError, WSAGetLastError), in UTF-8, without
// the trailing line end; "error <code>" when the system has no text for it.
std::string win32_error_text(unsigned long code);

}  // namespace quillon
