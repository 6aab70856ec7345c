// SPDX-License-Identifier: Apache-2.0
#include "images/folder_ops.h"

namespace quillon {

bool make_dirs(const std::string& path) {
    std::string p = path;
    if (p.empty() || !is_path_separator(p.back())) p += '/';
    bool last = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (!is_path_separator(p[i])) continue;
        // The root itself ("" before a leading "/") cannot be created; like any other failure
        // it only counts when it is the last one.
        last = make_directory(p.substr(0, i));
    }
    return last;
}

std::string file_ext(const std::string& path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {};
    return path.substr(dot + 1);
}

}  // namespace quillon
