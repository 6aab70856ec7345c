// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a person sees of a headless batch on standard error.
//
// On a terminal: a block redrawn in place a few times a second, with the three bars (IMG and DEV
// of the selected worker, ALL of the batch), the counter, and one status line per running worker;
// messages appear above the block. Anywhere else (a pipe, a file, a CI log): the messages as plain
// lines and nothing animated.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon {
class HeadlessWindow;
class UpgradeEngine;
}  // namespace quillon

namespace quillon::cli {

// The state the block shows, gathered without holding the display's lock.
struct ProgressState {
    int image_bar = 0, device_bar = 0, batch_bar = 0;
    std::string counter;
    std::vector<std::string> workers;  // "[w] status" of every running worker
};

// The block's lines for a terminal `width` columns wide (every line shorter than that).
std::vector<std::string> progress_lines(const ProgressState& state, int width);

class ProgressDisplay {
public:
    // `fd`: where to write (not owned). `live`: redraw a block in place (a terminal).
    ProgressDisplay(int fd, bool live);
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    bool live() const { return live_; }
    // One line for the person (a message box's text, or the tool's own note). Any thread.
    void message(const std::string& text);
    // Live only: redraws the block from the window and the engine until stop(). The window's
    // requests are made from the display's own thread, never from the window thread.
    void start(HeadlessWindow& window, UpgradeEngine& engine);
    // Draws the block one last time, leaves it on the screen and ends the refresh.
    void stop();

private:
    void refresh_loop(HeadlessWindow& window, UpgradeEngine& engine);
    ProgressState gather(HeadlessWindow& window, UpgradeEngine& engine) const;
    void draw(const ProgressState& state);  // lock_ held
    void erase_block();                     // lock_ held
    int width() const;

    const int fd_;
    const bool live_;
    std::mutex lock_;  // owner: the display; guards drawn_ and the writes to fd_
    int drawn_ = 0;    // lines of the block now on the screen
    std::mutex wake_lock_;
    std::condition_variable wake_;
    bool stopping_ = false;  // guarded by wake_lock_
    std::thread thread_;
};

}  // namespace quillon::cli
