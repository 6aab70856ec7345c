// SPDX-License-Identifier: Apache-2.0
#pragma once
// minizip's file functions for a zip archive named by a UTF-8 path. Linux: its own fopen64 ones,
// which take the path's bytes. Windows: functions of our own over _wfopen, so that a package in
// a folder such as "固件 v2" opens.
#include <unzip.h>

namespace quillon {

// Fills `funcs` for unzOpen2_64; the caller may wrap them (its opaque is left null).
void fill_zip_file_functions(zlib_filefunc64_def* funcs);

}  // namespace quillon
