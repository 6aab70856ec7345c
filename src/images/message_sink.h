// SPDX-License-Identifier: Apache-2.0
#pragma once
// How the package import tells a person about a failure. The window shows a message box, the
// headless tool prints to standard error, tests record what was said.
#include <string>

namespace quillon {

// The two messages of the package import; fixed English texts in both languages.
inline constexpr const char* kMsgUnzipError = "UnzipFile error.";
inline constexpr const char* kMsgFileError = "The file or directory error.";

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A message the user must see (the window: a message box with an OK button).
    virtual void message(const std::string& text) = 0;
    // Why something failed, for the debug log; the user is not interrupted for it.
    virtual void debug(const std::string& /*text*/) {}
};

}  // namespace quillon
