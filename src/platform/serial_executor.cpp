// SPDX-License-Identifier: Apache-2.0
#include "platform/serial_executor.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace quillon {

namespace {
// The executor whose thread the current thread is; lets run_sync see a call from inside a task.
thread_local const SerialExecutor* t_current = nullptr;
}  // namespace

SerialExecutor::SerialExecutor() : thread_([this] { loop(); }) {}

SerialExecutor::~SerialExecutor() { shutdown(); }

bool SerialExecutor::on_executor_thread() const { return t_current == this; }

bool SerialExecutor::post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (stopping_) return false;
        queue_.push_back(std::move(fn));
    }
    wake_.notify_one();
    return true;
}

bool SerialExecutor::run_sync(const std::function<void()>& fn) {
    if (on_executor_thread()) {
        fn();
        return true;
    }
    // Completion record on the caller's stack; the caller waits for it, so it outlives the task.
    struct Completion {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::exception_ptr error;
    } c;
    bool queued = post([&fn, &c] {
        std::exception_ptr error;
        try {
            fn();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> g(c.m);
        c.error = error;
        c.done = true;
        // Notified under the lock: the waiter may destroy c as soon as it sees done.
        c.cv.notify_one();
    });
    if (!queued) return false;
    std::unique_lock<std::mutex> g(c.m);
    c.cv.wait(g, [&c] { return c.done; });
    if (c.error) std::rethrow_exception(c.error);
    return true;
}

void SerialExecutor::shutdown() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (on_executor_thread()) return;
    std::lock_guard<std::mutex> g(join_lock_);
    if (thread_.joinable()) thread_.join();
}

void SerialExecutor::loop() {
    t_current = this;
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> g(lock_);
            wake_.wait(g, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;  // stopping, and everything queued has run
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            task();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "serial executor: a posted task failed: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "serial executor: a posted task failed\n");
        }
    }
}

}  // namespace quillon
