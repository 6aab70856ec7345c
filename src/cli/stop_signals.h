#pragma once
// Ctrl-C (SIGINT) and SIGTERM for a headless batch, taken synchronously: block them before any
// thread exists (every thread inherits the mask), then ask with wait() whether one came, or sleep
// in wait_or() until one comes or something else happens. No work is done inside a signal handler.
#include <chrono>

#include "platform/unique_fd.h"

namespace quillon::cli {

class StopSignals {
public:
    // Blocks SIGINT and SIGTERM in the calling thread (and so in every thread it starts later).
    StopSignals();
    // Takes any still pending, then unblocks them again.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Waits up to `limit` for one of the two signals. True when one came.
    bool wait(std::chrono::milliseconds limit);
    // Waits, without a limit, until one of the two signals comes (true) or `other` becomes
    // readable (false; nothing is read from it). Without one of the two descriptors (none could
    // be made, or `other` is -1) it returns false after 100 ms at most: callers loop.
    bool wait_or(int other);
    // How many have come so far.
    int count() const { return count_; }

private:
    int count_ = 0;
    UniqueFd signal_fd_;  // the two signals as a readable descriptor, for wait_or
};

}  // namespace quillon::cli
