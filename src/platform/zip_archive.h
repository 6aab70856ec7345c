#pragma once
// Opening a zip archive with minizip by a UTF-8 path. Linux: unzOpen64 with the path's bytes.
// Windows: unzOpen2_64 with file functions of our own over _wfopen, so that a package in a
// folder such as "固件 v2" opens.
#include <string>

namespace quillon {

// The unzFile, or null when the archive cannot be opened (as unzOpen64).
void* open_zip_archive(const std::string& path);

}  // namespace quillon
