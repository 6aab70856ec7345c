// SPDX-License-Identifier: Apache-2.0
#pragma once
// The debug log: log/log_YYYYMMDD_HHMMSS.txt, which takes the diagnostic lines of every thread
// while it is open, in place of standard output.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "log/debug_line.h"

namespace quillon {

class DebugLog final : public DebugSink {
public:
    DebugLog() = default;
    ~DebugLog() override;
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    // Creates the folder when it is missing, opens a file named after the local time in it and
    // takes the diagnostic lines from then on. Returns the file's path, or empty when it cannot
    // be opened (the lines then go where they went before). A second start ends the first file.
    std::string start(const std::string& log_dir);
    // The same below the working directory: <cwd>/log.
    std::string start();

    // Each text written and pushed to the file at once, so that the last lines before a crash
    // are in it.
    void write_debug(std::string_view text) override;

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::optional<ScopedDebugSink> installed_;  // after file_: taken out before the file closes
};

}  // namespace quillon
