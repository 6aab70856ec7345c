#include <unzip.h>

#include "platform/zip_archive.h"

namespace quillon {

void* open_zip_archive(const std::string& path) { return ::unzOpen64(path.c_str()); }

}  // namespace quillon
