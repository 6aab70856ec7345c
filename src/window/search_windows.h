// SPDX-License-Identifier: Apache-2.0
#pragma once
// The three-second search windows: each opens the intake now and closes it when its own time
// has run out, on a thread of its own. Several may overlap; the intake closes at the end of the
// earliest. Started and stopped on the window's thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "contract/window_port.h"

namespace quillon {

class SearchWindows {
public:
    // `post` queues a function for the window's thread (WindowView::post).
    using Post = std::function<void(std::function<void()>)>;
    SearchWindows(WindowFlags& flags, Post post);
    ~SearchWindows();
    SearchWindows(const SearchWindows&) = delete;
    SearchWindows& operator=(const SearchWindows&) = delete;

    // Opens a window of `length`: `opened` runs at once (after the intake has opened), `ended`
    // is posted to the window's thread when the window has run its course. Does nothing once
    // stopped.
    void open(std::chrono::milliseconds length, const std::function<void()>& opened,
              std::function<void()> ended);
    // Ends every window at once (their `ended` is not posted) and joins their threads; no
    // window opens afterwards.
    void stop();

private:
    void body(std::chrono::milliseconds length, std::function<void()> ended,
              std::shared_ptr<std::atomic<bool>> done);

    WindowFlags& flags_;
    Post post_;
    // Each thread is joined once it has ended (at the next open) or by stop().
    struct Window {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Window> windows_;  // window thread only
    std::mutex stop_lock_;         // owner: the windows' wait; nothing nests in it
    std::condition_variable stop_cv_;
    bool stop_ = false;
};

}  // namespace quillon
