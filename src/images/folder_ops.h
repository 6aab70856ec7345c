#pragma once
// Folder operations of the package import. Paths use "/" as separator.
#include <string>

namespace quillon {

// Creates every folder along `path`, shortest prefix first, ignoring failures (folders that exist
// already). Returns whether the last creation succeeded; callers ignore it.
bool make_dirs(const std::string& path);

// Removes `folder` and everything in it. Stops at the first entry that cannot be removed and
// returns false; the rest of the tree stays. An empty path removes nothing and gives false.
// Symbolic links are removed, never followed, so nothing outside the folder is touched; a
// `folder` that is itself a link is left alone (false).
bool delete_tree(const std::string& folder);

// The text after the last "." of the path (possibly empty), or empty text when there is no ".".
// The "." may lie in a folder name.
std::string file_ext(const std::string& path);

// Whether a file or folder exists under `path` (a link counts when its target exists).
bool path_exists(const std::string& path);

}  // namespace quillon
