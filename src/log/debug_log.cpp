// SPDX-License-Identifier: Apache-2.0
// The debug log: standard output of the whole process, redirected into a file of its own.
#include <cstdio>
#include <ctime>

#include "log/log_dir.h"
#include "log/log_file.h"
#include "platform/files.h"
#include "platform/local_time.h"

namespace quillon {

std::string StartDebugLog() { return StartDebugLog(join_path(current_dir(), "log")); }

std::string StartDebugLog(const std::string& log_dir) {
    ensure_dir(log_dir);
    std::time_t now = std::time(nullptr);
    std::tm t{};
    local_time(now, t);
    char name[64];
    std::snprintf(name, sizeof name, "log_%04d%02d%02d_%02d%02d%02d.txt", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    std::string path = join_path(log_dir, name);

    // Standard output itself is replaced, so every thread's printf lands in the file; when the
    // file cannot be opened it stays where it was.
    if (!redirect_stdout_to(path)) return {};
    // Line-buffered, so that the last lines before a crash are in the file too.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return path;
}

}  // namespace quillon
