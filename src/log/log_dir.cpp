// SPDX-License-Identifier: Apache-2.0
#include "log/log_dir.h"

#include "platform/files.h"

namespace quillon {

std::string current_dir() { return current_directory(); }

std::string join_path(const std::string& dir, const std::string& name) {
    // No directory (the working directory could not be read) must not become the root.
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

std::string user_report_path(const std::string& log_folder) {
    return join_path(log_folder, "upgrade_user.html");
}

void ensure_dir(const std::string& path) { make_directory(path, 0755); }

}  // namespace quillon
