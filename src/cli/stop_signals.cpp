#include "cli/stop_signals.h"

#include <signal.h>

#include <cerrno>
#include <ctime>

namespace quillon::cli {
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
}

StopSignals::~StopSignals() {
    // One that came after the last look has been answered by the end of the batch already.
    while (wait(std::chrono::milliseconds(0))) {
    }
    const sigset_t s = stop_set();
    pthread_sigmask(SIG_UNBLOCK, &s, nullptr);
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

}  // namespace quillon::cli
