// SPDX-License-Identifier: Apache-2.0
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/wakeup.h"

namespace quillon {

Wakeup::Wakeup() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    handle_ = fd < 0 ? kNoSocket : fd;
}

Wakeup::~Wakeup() {
    if (valid()) ::close(int(handle_));
}

void Wakeup::signal() {
    if (!valid()) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(int(handle_), &one, sizeof one);
}

void Wakeup::clear() {
    if (!valid()) return;
    uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(int(handle_), &count, sizeof count);
}

}  // namespace quillon
