// SPDX-License-Identifier: Apache-2.0
#include "platform/zip_archive.h"

namespace quillon {

void fill_zip_file_functions(zlib_filefunc64_def* funcs) { ::fill_fopen64_filefunc(funcs); }

}  // namespace quillon
