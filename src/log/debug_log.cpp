// SPDX-License-Identifier: Apache-2.0
#include "log/debug_log.h"

#include <ctime>

#include "log/log_dir.h"
#include "platform/files.h"
#include "platform/local_time.h"

namespace quillon {

DebugLog::~DebugLog() { installed_.reset(); }

std::string DebugLog::start() { return start(join_path(current_dir(), "log")); }

std::string DebugLog::start(const std::string& log_dir) {
    ensure_dir(log_dir);
    std::time_t now = std::time(nullptr);
    std::tm t{};
    local_time(now, t);
    char name[64];
    std::snprintf(name, sizeof name, "log_%04d%02d%02d_%02d%02d%02d.txt", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    std::string path = join_path(log_dir, name);

    // Binary (the same bytes on Windows), not inherited by programs started later.
    std::unique_ptr<std::FILE, Closer> file(open_for_writing(path));
    if (!file) return {};
    installed_.reset();  // no line is being written to the old file once this returns
    file_ = std::move(file);
    installed_.emplace(*this);
    return path;
}

void DebugLog::write_debug(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), file_.get());
    std::fflush(file_.get());
}

}  // namespace quillon
