// SPDX-License-Identifier: Apache-2.0
#include <winsock2.h>
#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "platform/stop_signals.h"
#include "platform/wakeup.h"

namespace quillon {
namespace {

// What the console handler shares with the waits. The handler runs on a thread the system
// starts for each event; `lock` guards the rest and nests with nothing.
struct CtrlState {
    std::mutex lock;
    std::condition_variable came;
    int pending = 0;         // requests not yet taken by a wait
    Wakeup* wake = nullptr;  // the live StopSignals' wake-up, signalled with every request
};

CtrlState& ctrl_state() {
    static CtrlState s;
    return s;
}

BOOL WINAPI on_console_event(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        CtrlState& s = ctrl_state();
        {
            std::lock_guard l(s.lock);
            ++s.pending;
            if (s.wake) s.wake->signal();
        }
        s.came.notify_all();
        return TRUE;
    }
    // The console window is closing, or the user logs off, or the system shuts down: the
    // system ends the program after this. What the streams still hold (the debug log on
    // standard output) goes to disk first; the report and device log are flushed per line.
    std::fflush(nullptr);
    return FALSE;
}

}  // namespace

StopSignals::StopSignals() : wake_(std::make_unique<Wakeup>()) {
    if (wake_->valid()) signal_fd_ = wake_->handle();
    {
        std::lock_guard l(ctrl_state().lock);
        ctrl_state().wake = wake_.get();
    }
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(on_console_event, FALSE);
    // One that came after the last look has been answered by the end of the batch already.
    while (wait(std::chrono::milliseconds(0))) {}
    std::lock_guard l(ctrl_state().lock);
    ctrl_state().wake = nullptr;
}

bool StopSignals::wait(std::chrono::milliseconds limit) {
    CtrlState& s = ctrl_state();
    std::unique_lock l(s.lock);
    if (!s.came.wait_for(l, limit, [&] { return s.pending > 0; })) return false;
    --s.pending;
    ++count_;
    return true;
}

bool StopSignals::wait_or(SocketHandle other) {
    // Without either handle the wait becomes a look every 100 ms.
    const bool both = signal_fd_ != kNoSocket && other != kNoSocket;
    for (;;) {
        SocketWait items[2] = {{signal_fd_}, {other}};
        // select needs a limit; a long one stands for none.
        const int ready =
            wait_sockets(items, 2, both ? std::chrono::hours(1) : std::chrono::milliseconds(100));
        if (items[0].readable) wake_->clear();
        if (wait(std::chrono::milliseconds(0))) return true;
        if (ready < 0) return wait(std::chrono::milliseconds(100));
        if (ready == 0) {
            if (!both) return false;  // the look's time is up
            continue;
        }
        if (items[1].readable) return false;
    }
}

}  // namespace quillon
