// SPDX-License-Identifier: Apache-2.0
#pragma once
// Helpers shared by the table tests.
#include <chrono>
#include <functional>
#include <new>
#include <thread>

#include "log/log_file.h"

namespace quillon::test {

// Polls cond until it holds or the deadline passes; returns whether it held.
inline bool wait_until(const std::function<bool()>& cond,
                       std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    auto end = std::chrono::steady_clock::now() + deadline;
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A user report that is never opened or written: the headless window only keeps a reference
// to it. It is never destroyed either, so these tests need no part of the log module's code.
inline LogFile& unused_user_report() {
    union Holder {
        LogFile file;
        Holder() { ::new (&file) LogFile(); }
        ~Holder() {}
    };
    static Holder holder;
    return holder.file;
}

}  // namespace quillon::test
