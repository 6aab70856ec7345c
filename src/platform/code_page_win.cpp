// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <climits>

#include "platform/code_page.h"
#include "platform/utf16_win.h"

namespace quillon {

bool gbk_to_utf8(const std::string& gbk, std::string& result) {
    if (gbk.empty()) {
        result.clear();
        return true;
    }
    if (gbk.size() > std::size_t(INT_MAX)) return false;
    const int n = ::MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), int(gbk.size()),
                                        nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(std::size_t(n), L'\0');
    if (::MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), int(gbk.size()), wide.data(),
                              n) != n)
        return false;
    std::string out;
    if (!utf16_to_utf8(wide, out)) return false;
    result = std::move(out);
    return true;
}

}  // namespace quillon
