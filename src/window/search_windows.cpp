// SPDX-License-Identifier: Apache-2.0
#include "window/search_windows.h"

#include <utility>

namespace quillon {

SearchWindows::SearchWindows(WindowFlags& flags, Post post)
    : flags_(flags), post_(std::move(post)) {}

SearchWindows::~SearchWindows() { stop(); }

void SearchWindows::open(std::chrono::milliseconds length, const std::function<void()>& opened,
                         std::function<void()> ended) {
    // Join the windows that have ended, so that finished threads do not pile up.
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = windows_.erase(it);
        } else {
            ++it;
        }
    }
    {
        std::lock_guard<std::mutex> g(stop_lock_);
        if (stop_) return;
    }
    // Opened here, on the window thread, and not by the window's own thread when it gets to
    // run: a command that closes the intake in between (START, say) would otherwise find it
    // reopened behind it for three seconds.
    flags_.open_search_window();
    if (opened) opened();
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread t(&SearchWindows::body, this, length, std::move(ended), done);
    windows_.push_back({std::move(t), done});
}

void SearchWindows::body(std::chrono::milliseconds length, std::function<void()> ended,
                         std::shared_ptr<std::atomic<bool>> done) {
    bool stopped;
    {
        std::unique_lock<std::mutex> g(stop_lock_);
        stopped = stop_cv_.wait_for(g, length, [this] { return stop_; });
    }
    // The answers that reached the sockets until now are still listed when they are read.
    flags_.end_search_window(std::chrono::steady_clock::now());
    // Queued, not run here: the window thread may be joining this thread.
    if (!stopped && ended) post_(std::move(ended));
    done->store(true);
}

void SearchWindows::stop() {
    {
        std::lock_guard<std::mutex> g(stop_lock_);
        stop_ = true;
    }
    stop_cv_.notify_all();
    for (auto& w : windows_) {
        if (w.thread.joinable()) w.thread.join();
    }
    windows_.clear();
}

}  // namespace quillon
