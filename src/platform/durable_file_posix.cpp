// SPDX-License-Identifier: Apache-2.0
#include "platform/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quillon {
namespace {

// The new file's name lives in its folder: without this a power cut can lose the whole file.
void sync_folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

bool DurableFile::open(const std::string& path) {
    close();
    struct stat st {};
    const bool existed = ::stat(path.c_str(), &st) == 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    handle_ = fd;
    if (!existed) sync_folder_of(path);
    return true;
}

bool DurableFile::append(std::string_view bytes) {
    if (!is_open()) return false;
    const int fd = int(handle_);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(std::size_t(n));
    }
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

void DurableFile::close() {
    if (!is_open()) return;
    ::close(int(handle_));
    handle_ = kNone;
}

}  // namespace quillon
