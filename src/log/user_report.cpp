// SPDX-License-Identifier: Apache-2.0
// Showing the user report at the end of a batch, and the start-up of the run's logs.
#include "log/log_dir.h"
#include "log/log_file.h"
#include "platform/files.h"

namespace quillon {

std::string file_url(const std::string& absolute_path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    std::string path = absolute_path;
    // A Windows path ("C:\Users\..."): "file:///C:/Users/...".
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (drive) {
        url += '/';
        for (char& c : path)
            if (c == '\\') c = '/';
    }
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '/' || c == '-' || c == '_' || c == '.' || c == '~' || (drive && i == 1);
        if (plain) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

void ShowUserReport(UrlOpener& opener) {
    std::string cwd = current_dir();
    if (cwd.empty()) return;
    std::string path = user_report_path(join_path(cwd, "log"));
    if (!is_regular_file(path)) return;
    opener.open_url(file_url(path));
}

void open_logs(const std::string& dir, bool debug_mode, RunLogs& logs) {
    std::string log_dir = join_path(dir, "log");
    ensure_dir(log_dir);
    logs.userReport.Open(user_report_path(log_dir));
    if (debug_mode) {
        logs.debug_log_path = logs.debugLog.start(log_dir);
        logs.deviceLog.Open(join_path(log_dir, "upgrade_dev.log"));
    }
    logs.deviceLog.WriteInfo("upgrade start !\n");
}

}  // namespace quillon
