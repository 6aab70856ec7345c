// SPDX-License-Identifier: Apache-2.0
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <vector>

#include "platform/files.h"
#include "platform/utf16_win.h"

namespace quillon {
namespace {

// A path that is not valid UTF-8 names no file here.
bool wide_path(const std::string& path, std::wstring& out) {
    return !path.empty() && utf8_to_utf16(path, out);
}

HANDLE as_handle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

std::string current_directory() {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return {};
    std::wstring buf(n, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(n, buf.data());
    if (got == 0 || got >= n) return {};
    buf.resize(got);
    std::string out;
    return utf16_to_utf8(buf, out) ? out : std::string();
}

bool make_directory(const std::string& path, unsigned) {
    std::wstring w;
    return wide_path(path, w) && ::CreateDirectoryW(w.c_str(), nullptr) != 0;
}

char path_separator() { return '\\'; }
bool is_path_separator(char c) { return c == '/' || c == '\\'; }

// 255 UTF-16 units, each at most three bytes of UTF-8; longer names fail where they are made.
// Windows counts a name in UTF-16 units, not bytes (a name of 300 ASCII letters is too long).
bool name_length_fits(const std::string& name) { return widen(name).size() <= 255; }

namespace {

// Empties the folder `dir` (a wide path, not a reparse point) and removes it. Reparse points
// inside (symbolic links, junctions) are removed themselves, never entered. Depth is bounded by
// the path length the system takes.
bool remove_folder_tree(const std::wstring& dir) {
    WIN32_FIND_DATAW e{};
    const HANDLE find = ::FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &e,
                                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        if (::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    } else {
        bool ok = true;
        do {
            const std::wstring name = e.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = dir + L"\\" + name;
            const DWORD a = e.dwFileAttributes;
            if (a & FILE_ATTRIBUTE_READONLY)
                ::SetFileAttributesW(child.c_str(), a & ~DWORD(FILE_ATTRIBUTE_READONLY));
            if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
                ok = remove_folder_tree(child);
            } else if (a & FILE_ATTRIBUTE_DIRECTORY) {
                ok = ::RemoveDirectoryW(child.c_str()) != 0;  // the link, not its target
            } else {
                ok = ::DeleteFileW(child.c_str()) != 0;
            }
        } while (ok && ::FindNextFileW(find, &e));
        ::FindClose(find);
        if (!ok) return false;
    }
    return ::RemoveDirectoryW(dir.c_str()) != 0;
}

}  // namespace

bool delete_tree(const std::string& folder) {
    std::wstring w;
    if (!wide_path(folder, w)) return false;
    while (w.size() > 3 && (w.back() == L'\\' || w.back() == L'/')) w.pop_back();
    const DWORD a = ::GetFileAttributesW(w.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    // A folder that is itself a link is left alone.
    if (!(a & FILE_ATTRIBUTE_DIRECTORY) || (a & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    return remove_folder_tree(w);
}

std::string last_file_error_text() { return win32_error_text(::GetLastError()); }

std::FILE* open_for_writing(const std::string& path) {
    std::wstring w;
    if (!wide_path(path, w)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    // "N": not inherited by programs started later.
    return ::_wfopen(w.c_str(), L"wbN");
}

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
    std::wstring w;
    if (!wide_path(path, w)) return;
    const HANDLE h = ::CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<std::intptr_t>(h);
}

ReadOnlyFile::~ReadOnlyFile() { close(); }

void ReadOnlyFile::close() {
    if (valid()) ::CloseHandle(as_handle(handle_));
    handle_ = -1;
}

bool ReadOnlyFile::regular_size(uint64_t& size) const {
    if (!valid() || ::GetFileType(as_handle(handle_)) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(as_handle(handle_), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    size = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

bool ReadOnlyFile::read_at(void* out, std::size_t len, uint64_t offset) const {
    auto* p = static_cast<unsigned char*>(out);
    while (len > 0) {
        // The offset goes with each read, so threads reading other parts do not disturb it.
        OVERLAPPED at{};
        at.Offset = DWORD(offset & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(offset >> 32);
        const DWORD want = len > (1u << 30) ? DWORD(1u << 30) : DWORD(len);
        DWORD got = 0;
        if (!::ReadFile(as_handle(handle_), p, want, &got, &at) || got == 0) return false;
        p += got;
        len -= got;
        offset += got;
    }
    return true;
}

}  // namespace quillon
