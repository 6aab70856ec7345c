// SPDX-License-Identifier: Apache-2.0
#pragma once
// Waiting in a test for what another thread, or the window's event loop, brings about.
#include <chrono>
#include <functional>

namespace quillon::test {

// Looks at `cond` until it holds or `limit` has passed; true when it held. Between two looks
// it runs the program's wait step (see set_wait_step).
bool wait_until(const std::function<bool()>& cond,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

// What every wait of this test program does between two looks: by default it sleeps 2 ms. A
// program with a Qt window sets it once in main(), before any thread starts, to serve the
// window's events: nothing a window test waits for happens while the event loop stands still.
// An empty function brings the sleep back.
void set_wait_step(std::function<void()> step);

}  // namespace quillon::test
