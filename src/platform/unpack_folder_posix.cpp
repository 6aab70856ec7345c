// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/unpack_folder.h"

namespace quillon {
namespace {

std::string errno_text() { return std::strerror(errno); }

int fd_of(const FolderHandle& f) { return int(f.handle()); }

}  // namespace

FolderHandle::~FolderHandle() {
    if (valid()) ::close(int(handle_));
}

FolderHandle& FolderHandle::operator=(FolderHandle&& o) noexcept {
    if (this != &o) {
        if (valid()) ::close(int(handle_));
        handle_ = std::exchange(o.handle_, -1);
        path_ = std::move(o.path_);
    }
    return *this;
}

FolderHandle open_folder(const std::string& path, std::string& err) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        err = "cannot open folder " + path + ": " + errno_text();
        return {};
    }
    return FolderHandle(fd, path);
}

// O_NOFOLLOW makes a link in the way an error instead of a way out of the folder.
FolderHandle open_folder_chain(const FolderHandle& base, const std::vector<std::string>& components,
                               std::size_t count, std::string& err) {
    const int start = ::fcntl(fd_of(base), F_DUPFD_CLOEXEC, 0);
    if (start < 0) {
        err = errno_text();
        return {};
    }
    FolderHandle cur(start, std::string());
    for (std::size_t i = 0; i < count; ++i) {
        const char* name = components[i].c_str();
        int fd = ::openat(fd_of(cur), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(fd_of(cur), name, 0777) != 0 && errno != EEXIST) {
                err = "cannot create folder " + components[i] + ": " + errno_text();
                return {};
            }
            fd = ::openat(fd_of(cur), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            err = (errno == ELOOP || errno == ENOTDIR)
                      ? "folder " + components[i] + " is a link or a file"
                      : "cannot open folder " + components[i] + ": " + errno_text();
            return {};
        }
        cur = FolderHandle(fd, std::string());
    }
    return cur;
}

NewFile::~NewFile() {
    if (valid()) ::close(int(handle_));
}

bool NewFile::write_all(const unsigned char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(int(handle_), p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool NewFile::close() {
    const int fd = int(std::exchange(handle_, -1));
    return fd < 0 || ::close(fd) == 0;
}

NewFile create_part_file(const FolderHandle& dir, std::string& name) {
    for (int n = 0; n < 1000; ++n) {
        name = ".quillon-part-" + std::to_string(::getpid()) + "-" + std::to_string(n);
        const int fd = ::openat(fd_of(dir), name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) return NewFile(fd);
        if (errno != EEXIST) return {};
    }
    return {};
}

void remove_file_in(const FolderHandle& dir, const std::string& name) {
    ::unlinkat(fd_of(dir), name.c_str(), 0);
}

bool replace_file_in(const FolderHandle& dir, const std::string& from, const std::string& to) {
    return ::renameat(fd_of(dir), from.c_str(), fd_of(dir), to.c_str()) == 0;
}

std::optional<uint64_t> free_bytes(const FolderHandle& dir) {
    struct statvfs fs {};
    // A file system that tells no sizes (f_blocks 0: some FUSE mounts) is not taken as full.
    if (::fstatvfs(fd_of(dir), &fs) != 0 || fs.f_blocks == 0) return std::nullopt;
    return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
}

std::size_t max_path_bytes() { return PATH_MAX; }

}  // namespace quillon
