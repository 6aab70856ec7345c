// SPDX-License-Identifier: Apache-2.0
#pragma once
// The requests to stop a headless batch: Ctrl-C (and SIGTERM on Linux; Ctrl-Break on Windows).
// Linux: SIGINT and SIGTERM are taken synchronously: blocked before any thread exists (every
// thread inherits the mask), then read through a signalfd; no work is done inside a signal
// handler. Windows: a console control handler counts Ctrl-C and Ctrl-Break and wakes the wait;
// closing the console window, logging off or shutting down flushes the open streams (the logs)
// before the system ends the program.
#include <chrono>
#include <memory>

#include "platform/socket.h"

namespace quillon {

class Wakeup;

class StopSignals {
public:
    // Starts taking the requests (Linux: blocks SIGINT and SIGTERM in the calling thread, and so
    // in every thread it starts later).
    StopSignals();
    // Takes any still pending, then gives them back to the system's default.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Waits up to `limit` for one request. True when one came.
    bool wait(std::chrono::milliseconds limit);
    // Waits, without a limit, until a request comes (true) or `other` (a Wakeup's handle)
    // becomes readable (false; nothing is read from it). Without the means to wait on both
    // (`other` is kNoSocket, or none could be made) it returns false after 100 ms at most:
    // callers loop.
    bool wait_or(SocketHandle other);
    // How many have come so far.
    int count() const { return count_; }

private:
    int count_ = 0;
    SocketHandle signal_fd_ = kNoSocket;  // readable while a request waits (Linux: the signalfd)
    std::unique_ptr<Wakeup> wake_;        // Windows: what the console handler signals
};

}  // namespace quillon
