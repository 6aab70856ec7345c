// SPDX-License-Identifier: Apache-2.0
#pragma once
// How IniFile::load opens its file on each system.
#include <cstdio>
#include <string>

namespace quillon::detail {

// `path` (UTF-8) opened for binary reading when it names a regular file; null otherwise. Not
// inherited by programs started later.
std::FILE* open_ini_file(const std::string& path);

}  // namespace quillon::detail
