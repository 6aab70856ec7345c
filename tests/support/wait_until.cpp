// SPDX-License-Identifier: Apache-2.0
#include "support/wait_until.h"

#include <thread>
#include <utility>

namespace quillon::test {
namespace {

// Written only by set_wait_step, in main() before the tests' threads exist; read by every wait.
std::function<void()>& wait_step() {
    static std::function<void()> step;
    return step;
}

}  // namespace

bool wait_until(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (cond()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        if (const auto& step = wait_step())
            step();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void set_wait_step(std::function<void()> step) { wait_step() = std::move(step); }

}  // namespace quillon::test
