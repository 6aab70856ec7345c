// SPDX-License-Identifier: Apache-2.0
#include "platform/utf16_win.h"

#include <windows.h>

#include <climits>

namespace quillon {
namespace {

bool to_utf16(std::string_view in, std::wstring& out, DWORD flags) {
    out.clear();
    if (in.empty()) return true;
    if (in.size() > std::size_t(INT_MAX)) return false;
    const int n = ::MultiByteToWideChar(CP_UTF8, flags, in.data(), int(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(std::size_t(n));
    if (::MultiByteToWideChar(CP_UTF8, flags, in.data(), int(in.size()), out.data(), n) != n) {
        out.clear();
        return false;
    }
    return true;
}

bool to_utf8(std::wstring_view in, std::string& out, DWORD flags) {
    out.clear();
    if (in.empty()) return true;
    if (in.size() > std::size_t(INT_MAX)) return false;
    const int n = ::WideCharToMultiByte(CP_UTF8, flags, in.data(), int(in.size()), nullptr, 0,
                                        nullptr, nullptr);
    if (n <= 0) return false;
    out.resize(std::size_t(n));
    if (::WideCharToMultiByte(CP_UTF8, flags, in.data(), int(in.size()), out.data(), n, nullptr,
                              nullptr) != n) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace

bool utf8_to_utf16(std::string_view utf8, std::wstring& out) {
    // An embedded NUL would end the name early at the API: it names another file.
    if (utf8.find('\0') != std::string_view::npos) {
        out.clear();
        return false;
    }
    return to_utf16(utf8, out, MB_ERR_INVALID_CHARS);
}

bool utf16_to_utf8(std::wstring_view utf16, std::string& out) {
    if (utf16.find(L'\0') != std::wstring_view::npos) {
        out.clear();
        return false;
    }
    return to_utf8(utf16, out, WC_ERR_INVALID_CHARS);
}

std::wstring widen(std::string_view utf8) {
    std::wstring out;
    to_utf16(utf8, out, 0);
    return out;
}

std::string narrow(std::wstring_view utf16) {
    std::string out;
    to_utf8(utf16, out, 0);
    return out;
}

std::string win32_error_text(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0,
                                     nullptr);
    std::string out;
    if (n > 0 && text) out = narrow(std::wstring_view(text, n));
    if (text) ::LocalFree(text);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    if (out.empty()) out = "error " + std::to_string(code);
    return out;
}

}  // namespace quillon
