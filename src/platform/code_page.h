// SPDX-License-Identifier: Apache-2.0
#pragma once
// Texts in the Chinese ANSI code page (GBK, code page 936), as older zip tools write entry names,
// turned into UTF-8. Linux: iconv. Windows: MultiByteToWideChar(936).
#include <string>

namespace quillon {

// False (and `out` untouched) when `gbk` is not valid GBK or no converter is to be had.
bool gbk_to_utf8(const std::string& gbk, std::string& out);

}  // namespace quillon
