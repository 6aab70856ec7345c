// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/console_streams.h"

namespace quillon {
namespace {

void point_at_null(int target) {
    const int null = ::_open("NUL", _O_WRONLY | _O_BINARY | _O_NOINHERIT);
    if (null < 0) return;
    ::_dup2(null, target);
    ::_close(null);
}

// A duplicate in binary mode: the text mode of the C runtime would turn "\n" into "\r\n".
int duplicate(int fd) {
    const int d = ::_dup(fd);
    if (d >= 0) ::_setmode(d, _O_BINARY);
    return d;
}

}  // namespace

ConsoleStreams::ConsoleStreams() {
    std::fflush(stdout);
    out_ = duplicate(1);
    ui_ = duplicate(2);
    saved_out_ = ::_dup(1);
    saved_err_ = ::_dup(2);
}

ConsoleStreams::~ConsoleStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
    if (saved_out_ >= 0) ::_dup2(saved_out_, 1);
    if (saved_err_ >= 0) ::_dup2(saved_err_, 2);
    for (int fd : {out_, ui_, saved_out_, saved_err_})
        if (fd >= 0) ::_close(fd);
}

void ConsoleStreams::discard_stderr() {
    std::fflush(stderr);
    point_at_null(2);
}

bool write_all_fd(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const unsigned chunk = left > (1u << 30) ? (1u << 30) : unsigned(left);
        const int n = ::_write(fd, p, chunk);
        if (n <= 0) return false;
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

}  // namespace quillon
