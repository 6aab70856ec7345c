// SPDX-License-Identifier: Apache-2.0
#include "platform/durable_file.h"

#include <windows.h>

#include <string>

#include "platform/utf16_win.h"

namespace quillon {

bool DurableFile::open(const std::string& path) {
    close();
    std::wstring name;
    if (path.empty() || !utf8_to_utf16(path, name)) return false;
    // Readers (history, the start-up check) may open the file while a batch writes it.
    HANDLE h = ::CreateFileW(name.c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool DurableFile::append(std::string_view bytes) {
    if (!is_open()) return false;
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    while (!bytes.empty()) {
        const DWORD piece = bytes.size() > 0x40000000u ? 0x40000000u : DWORD(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), piece, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return ::FlushFileBuffers(h) != 0;
}

void DurableFile::close() {
    if (!is_open()) return;
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kNone;
}

}  // namespace quillon
