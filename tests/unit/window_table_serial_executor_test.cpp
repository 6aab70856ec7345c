// SPDX-License-Identifier: Apache-2.0
#include "platform/serial_executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/wait_until.h"

namespace quillon {
namespace {

TEST(SerialExecutor, RunsPostedWorkInOrderOnOneOtherThread) {
    SerialExecutor ex;
    std::vector<int> seen;  // touched only by the executor until run_sync returns
    std::set<std::thread::id> threads;
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(ex.post([&, i] {
            seen.push_back(i);
            threads.insert(std::this_thread::get_id());
        }));
    ASSERT_TRUE(ex.run_sync([] {}));  // everything posted before has run
    ASSERT_EQ(seen.size(), 500u);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(seen[i], i);
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(SerialExecutor, RunSyncWaitsAndNeverOverlapsFromManyThreads) {
    SerialExecutor ex;
    std::atomic<int> active{0};
    std::atomic<int> overlaps{0};
    int total = 0;  // plain: only the executor writes it
    std::vector<std::thread> callers;
    for (int t = 0; t < 8; ++t)
        callers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                int before = -1;
                ex.run_sync([&] {
                    if (active.fetch_add(1) != 0) overlaps.fetch_add(1);
                    before = total;
                    ++total;
                    active.fetch_sub(1);
                });
                // The call has ended when run_sync returns: its result is there.
                EXPECT_GE(before, 0);
            }
        });
    for (auto& c : callers) c.join();
    int final_total = 0;
    ex.run_sync([&] { final_total = total; });
    EXPECT_EQ(final_total, 8 * 200);
    EXPECT_EQ(overlaps.load(), 0);
}

TEST(SerialExecutor, RunSyncFromItsOwnThreadRunsInline) {
    SerialExecutor ex;
    std::vector<int> order;
    bool on_thread = false;
    ASSERT_TRUE(ex.run_sync([&] {
        on_thread = ex.on_executor_thread();
        order.push_back(1);
        // Would wait for itself for ever if it were queued.
        EXPECT_TRUE(ex.run_sync([&] { order.push_back(2); }));
        order.push_back(3);
    }));
    EXPECT_TRUE(on_thread);
    EXPECT_FALSE(ex.on_executor_thread());
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

    // The same from a posted task.
    std::atomic<bool> done{false};
    ex.post([&] { ex.run_sync([&] { done = true; }); });
    EXPECT_TRUE(test::wait_until([&] { return done.load(); }));
}

TEST(SerialExecutor, ExceptionsReachTheCallerAndDoNotStopTheThread) {
    SerialExecutor ex;
    EXPECT_THROW(ex.run_sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    ex.post([] { throw std::runtime_error("posted boom"); });
    int after = 0;
    EXPECT_TRUE(ex.run_sync([&] { after = 1; }));
    EXPECT_EQ(after, 1);
}

TEST(SerialExecutor, ShutdownServesEveryWaiterThenRefusesNewWork) {
    // Callers blocked in run_sync while the owner shuts down must come back with their work done.
    auto ex = std::make_unique<SerialExecutor>();
    std::atomic<bool> release{false};
    ex->post([&] { test::wait_until([&] { return release.load(); }); });
    std::atomic<int> served{0};
    std::atomic<int> refused{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 6; ++i)
        callers.emplace_back([&] {
            bool ran = false;
            if (ex->run_sync([&] { ran = true; })) {
                EXPECT_TRUE(ran);
                served.fetch_add(1);
            } else {
                EXPECT_FALSE(ran);
                refused.fetch_add(1);
            }
        });
    // Some callers are queued behind the blocked task, some may come after the shutdown began;
    // none may be left waiting.
    std::thread stopper([&] { ex->shutdown(); });
    release = true;
    for (auto& c : callers) c.join();
    stopper.join();
    EXPECT_EQ(served.load() + refused.load(), 6);
    EXPECT_FALSE(ex->post([] {}));
    bool called = false;
    EXPECT_FALSE(ex->run_sync([&] { called = true; }));
    EXPECT_FALSE(called);
    ex->shutdown();  // a second shutdown is harmless
    ex.reset();
}

TEST(SerialExecutor, ShutdownFromInsideATaskDoesNotDeadlock) {
    SerialExecutor ex;
    std::atomic<bool> done{false};
    ex.post([&] {
        ex.shutdown();  // only refuses new work; the owner joins
        done = true;
    });
    EXPECT_TRUE(test::wait_until([&] { return done.load(); }));
    EXPECT_FALSE(ex.post([] {}));
}

}  // namespace
}  // namespace quillon
