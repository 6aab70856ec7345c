// SPDX-License-Identifier: Apache-2.0
#include <sys/stat.h>

#include "platform/ini_file_open.h"

namespace quillon::detail {

std::FILE* open_ini_file(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return std::fopen(path.c_str(), "re");
}

}  // namespace quillon::detail
