// SPDX-License-Identifier: Apache-2.0
#pragma once
// A wake-up for a thread that waits on sockets: signal() makes handle() readable until clear().
// Linux: an eventfd. Windows: a loopback UDP socket that sends to itself (select waits only on
// sockets there).
#include "platform/socket.h"

namespace quillon {

class Wakeup {
public:
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    // False when none could be made; signal and clear then do nothing, and a wait on handle()
    // only ends with its time limit.
    bool valid() const { return handle_ != kNoSocket; }
    // For wait_sockets (read).
    SocketHandle handle() const { return handle_; }
    // Any thread, any number of times.
    void signal();
    // Takes back every signal so far.
    void clear();

private:
    SocketHandle handle_ = kNoSocket;
};

}  // namespace quillon
