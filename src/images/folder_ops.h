// SPDX-License-Identifier: Apache-2.0
#pragma once
// Folder operations of the package import. Paths use "/" as separator.
#include <string>

#include "platform/files.h"  // delete_tree, path_exists

namespace quillon {

// Creates every folder along `path`, shortest prefix first, ignoring failures (folders that exist
// already). Returns whether the last creation succeeded; callers ignore it.
bool make_dirs(const std::string& path);

// The text after the last "." of the path (possibly empty), or empty text when there is no ".".
// The "." may lie in a folder name.
std::string file_ext(const std::string& path);

}  // namespace quillon
