// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include <cctype>
#include <cstring>

#include "platform/unpack_folder.h"
#include "platform/utf16_win.h"

namespace quillon {
namespace {

std::string error_text() { return win32_error_text(::GetLastError()); }

HANDLE as_handle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

std::wstring child_of(const std::string& dir, const std::string& name) {
    return widen(dir + "\\" + name);
}

// A name Windows would take for something else: a stream ("a:b"), a device ("NUL", "com1.img"),
// a pattern, or one it would silently cut ("a." and "a " name "a").
bool plain_name(const std::string& name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (unsigned char c : name)
        if (c < 0x20 || std::strchr("<>:\"/\\|?*", c)) return false;
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = char(std::toupper(static_cast<unsigned char>(c)));
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : devices)
        if (stem == d) return false;
    if (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
        stem[3] >= '0' && stem[3] <= '9')
        return false;
    return true;
}

// Opens a folder itself, never what a link points to, and keeps it from being renamed or removed
// while it is held.
HANDLE open_folder_handle(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool is_real_folder(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileInformationByHandle(h, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

FolderHandle::~FolderHandle() {
    if (valid()) ::CloseHandle(as_handle(handle_));
}

FolderHandle& FolderHandle::operator=(FolderHandle&& o) noexcept {
    if (this != &o) {
        if (valid()) ::CloseHandle(as_handle(handle_));
        handle_ = std::exchange(o.handle_, -1);
        path_ = std::move(o.path_);
    }
    return *this;
}

FolderHandle open_folder(const std::string& path, std::string& err) {
    std::wstring w;
    if (!utf8_to_utf16(path, w)) {
        err = "cannot open folder " + path + ": not a valid name";
        return {};
    }
    // The folder the user chose may itself be reached through a link: follow it here.
    const HANDLE h = ::CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        err = "cannot open folder " + path + ": " + error_text();
        return {};
    }
    std::string p = path;
    while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    return FolderHandle(reinterpret_cast<std::intptr_t>(h), p);
}

FolderHandle open_folder_chain(const FolderHandle& base, const std::vector<std::string>& components,
                               std::size_t count, std::string& err) {
    HANDLE dup = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), as_handle(base.handle()), ::GetCurrentProcess(),
                           &dup, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        err = error_text();
        return {};
    }
    FolderHandle cur(reinterpret_cast<std::intptr_t>(dup), base.path());
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& name = components[i];
        if (!plain_name(name)) {
            err = "folder name " + name + " is not allowed on this system";
            return {};
        }
        const std::string path = cur.path() + "\\" + name;
        const std::wstring w = widen(path);
        if (!::CreateDirectoryW(w.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            err = "cannot create folder " + name + ": " + error_text();
            return {};
        }
        const HANDLE h = open_folder_handle(w);
        if (h == INVALID_HANDLE_VALUE) {
            err = "cannot open folder " + name + ": " + error_text();
            return {};
        }
        FolderHandle next(reinterpret_cast<std::intptr_t>(h), path);
        if (!is_real_folder(h)) {
            err = "folder " + name + " is a link or a file";
            return {};
        }
        cur = std::move(next);
    }
    return cur;
}

NewFile::~NewFile() {
    if (valid()) ::CloseHandle(as_handle(handle_));
}

bool NewFile::write_all(const unsigned char* p, std::size_t n) {
    while (n > 0) {
        const DWORD want = n > (1u << 30) ? DWORD(1u << 30) : DWORD(n);
        DWORD done = 0;
        if (!::WriteFile(as_handle(handle_), p, want, &done, nullptr) || done == 0) return false;
        p += done;
        n -= done;
    }
    return true;
}

bool NewFile::close() {
    const std::intptr_t h = std::exchange(handle_, -1);
    return h == -1 || ::CloseHandle(as_handle(h)) != 0;
}

NewFile create_part_file(const FolderHandle& dir, std::string& name) {
    for (int n = 0; n < 1000; ++n) {
        name = ".quillon-part-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(n);
        const HANDLE h = ::CreateFileW(child_of(dir.path(), name).c_str(), GENERIC_WRITE, 0,
                                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return NewFile(reinterpret_cast<std::intptr_t>(h));
        if (::GetLastError() != ERROR_FILE_EXISTS) return {};
    }
    return {};
}

void remove_file_in(const FolderHandle& dir, const std::string& name) {
    ::DeleteFileW(child_of(dir.path(), name).c_str());
}

bool replace_file_in(const FolderHandle& dir, const std::string& from, const std::string& to) {
    if (!plain_name(to)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return ::MoveFileExW(child_of(dir.path(), from).c_str(), child_of(dir.path(), to).c_str(),
                         MOVEFILE_REPLACE_EXISTING) != 0;
}

std::optional<uint64_t> free_bytes(const FolderHandle& dir) {
    ULARGE_INTEGER avail{}, total{};
    if (!::GetDiskFreeSpaceExW((widen(dir.path()) + L"\\").c_str(), &avail, &total, nullptr) ||
        total.QuadPart == 0)
        return std::nullopt;
    return uint64_t(avail.QuadPart);
}

// MAX_PATH UTF-16 units, each at most three bytes of UTF-8; the file calls refuse what is
// longer in units.
std::size_t max_path_bytes() { return MAX_PATH * 3; }

}  // namespace quillon
