// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where the logs live: the folder "log" below a directory, and the working directory itself.
#include <string>

namespace quillon {

// The working directory now, or empty when it cannot be read.
std::string current_dir();
// dir + "/" + name, without doubling the '/' when dir is "/"; just name when dir is empty, so
// that an unreadable working directory leaves the name relative to it instead of to "/".
std::string join_path(const std::string& dir, const std::string& name);
// The user report in a log folder: <log_folder>/upgrade_user.html.
std::string user_report_path(const std::string& log_folder);
// Creates the folder when it is missing; failures show up later when files are opened in it.
void ensure_dir(const std::string& path);

}  // namespace quillon
