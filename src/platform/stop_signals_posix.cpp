// SPDX-License-Identifier: Apache-2.0
#include "platform/stop_signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/wakeup.h"

namespace quillon {
namespace {

sigset_t stop_set() {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, SIGINT);
    sigaddset(&s, SIGTERM);
    return s;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t s = stop_set();
    pthread_sigmask(SIG_BLOCK, &s, nullptr);
    const int fd = ::signalfd(-1, &s, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd >= 0) signal_fd_ = fd;
}

StopSignals::~StopSignals() {
    // One that came after the last look has been answered by the end of the batch already.
    while (wait(std::chrono::milliseconds(0))) {}
    const sigset_t s = stop_set();
    pthread_sigmask(SIG_UNBLOCK, &s, nullptr);
    if (signal_fd_ != kNoSocket) ::close(int(signal_fd_));
}

bool StopSignals::wait(std::chrono::milliseconds limit) {
    const sigset_t s = stop_set();
    timespec ts{};
    ts.tv_sec = limit.count() / 1000;
    ts.tv_nsec = (limit.count() % 1000) * 1000000L;
    for (;;) {
        const int sig = sigtimedwait(&s, nullptr, &ts);
        if (sig == SIGINT || sig == SIGTERM) {
            ++count_;
            return true;
        }
        if (sig < 0 && errno == EINTR) continue;  // another signal; the remaining wait is short
        return false;
    }
}

bool StopSignals::wait_or(SocketHandle other) {
    // Without either descriptor (none left to the process) the wait becomes a look every 100 ms.
    const int limit = signal_fd_ != kNoSocket && other != kNoSocket ? -1 : 100;
    for (;;) {
        pollfd p[2] = {{signal_fd_ == kNoSocket ? -1 : int(signal_fd_), POLLIN, 0},
                       {other == kNoSocket ? -1 : int(other), POLLIN, 0}};
        const int ready = ::poll(p, 2, limit);
        if (ready < 0 && errno != EINTR) return wait(std::chrono::milliseconds(100));
        if (wait(std::chrono::milliseconds(0))) return true;
        if (ready == 0) return false;  // the look's time is up
        if (ready > 0 && (p[1].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL))) return false;
    }
}

}  // namespace quillon
