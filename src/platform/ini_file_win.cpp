// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <cstdio>

#include "platform/ini_file_open.h"
#include "platform/utf16_win.h"

namespace quillon::detail {

std::FILE* open_ini_file(const std::string& path) {
    std::wstring wide;
    if (!utf8_to_utf16(path, wide)) return nullptr;
    const DWORD a = ::GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
    // "N": not inherited. Binary: the reader sees the line ends as they are, as on Linux.
    return ::_wfopen(wide.c_str(), L"rbN");
}

}  // namespace quillon::detail
