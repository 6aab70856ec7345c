// SPDX-License-Identifier: Apache-2.0
#include "platform/console_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace quillon {
namespace {

void point_at_null(int target) {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) return;
    ::dup2(null, target);
    ::close(null);
}

}  // namespace

ConsoleStreams::ConsoleStreams() {
    std::fflush(stdout);
    out_ = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    ui_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    saved_out_ = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    saved_err_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
}

ConsoleStreams::~ConsoleStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
    if (saved_out_ >= 0) ::dup2(saved_out_, 1);
    if (saved_err_ >= 0) ::dup2(saved_err_, 2);
    for (int fd : {out_, ui_, saved_out_, saved_err_})
        if (fd >= 0) ::close(fd);
}

void ConsoleStreams::discard_stderr() {
    std::fflush(stderr);
    point_at_null(2);
}

bool write_all_fd(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

}  // namespace quillon
