// SPDX-License-Identifier: Apache-2.0
#pragma once
// One thread that runs submitted functions one at a time, in the order they were submitted.
//
// The headless runner uses it as its "window thread": every request of the engine and the intake
// runs whole on it while the caller waits, as the desktop window's requests do on the GUI thread.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quillon {

class SerialExecutor {
public:
    SerialExecutor();
    // Runs what is still queued, then joins. Must not run on the executor's own thread.
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    // Runs fn on the executor's thread and returns when it has ended. Called on the executor's own
    // thread (from inside a task) it runs fn at once, since waiting for itself would never end.
    // An exception thrown by fn reaches the caller. Returns false, without running fn, once
    // shutdown has begun.
    bool run_sync(const std::function<void()>& fn);

    // Queues fn and returns at once. Returns false, dropping fn, once shutdown has begun.
    // An exception thrown by a posted fn is reported on standard error and the executor goes on.
    bool post(std::function<void()> fn);

    // Refuses new work, lets the queued work run, and joins the thread. Safe to call more than
    // once and from several threads. Called on the executor's own thread it only refuses new
    // work; the owner's later call (or the destructor) joins.
    void shutdown();

    // True on the executor's thread.
    bool on_executor_thread() const;

private:
    void loop();

    std::mutex lock_;  // guards queue_ and stopping_; never held while a task runs
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::mutex join_lock_;  // serialises the joins of concurrent shutdown calls
    std::thread thread_;    // last member: starts once everything else exists
};

}  // namespace quillon
