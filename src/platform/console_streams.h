// SPDX-License-Identifier: Apache-2.0
#pragma once
// The standard streams of a headless batch. Standard error is where the engine's console lines
// go; the tool's own output must not mix with them. So the tool first keeps duplicates of both
// streams for itself (the summary on the first, messages and progress on the second), then
// points descriptor 2 elsewhere. The engine's diagnostic lines do not touch standard output
// there: the tool gives them a sink of their own (log/debug_line.h).
#include <string>

namespace quillon {

class ConsoleStreams {
public:
    // Keeps duplicates of descriptors 1 and 2.
    ConsoleStreams();
    // Puts 1 and 2 back as they were.
    ~ConsoleStreams();
    ConsoleStreams(const ConsoleStreams&) = delete;
    ConsoleStreams& operator=(const ConsoleStreams&) = delete;

    // The tool's own streams.
    int out_fd() const { return out_; }
    int ui_fd() const { return ui_; }

    // Console lines on standard error go nowhere.
    void discard_stderr();

private:
    int out_ = -1, ui_ = -1;
    int saved_out_ = -1, saved_err_ = -1;
};

// Writes all of `text` to fd (retrying short writes); false on an error.
bool write_all_fd(int fd, const std::string& text);

}  // namespace quillon
