// SPDX-License-Identifier: Apache-2.0
#include "cli/progress_display.h"

#include <algorithm>
#include <cstdio>

#include "cli/text_out.h"
#include "engine/come_back_watch.h"
#include "engine/upgrade_engine.h"
#include "platform/console.h"
#include "platform/console_streams.h"
#include "window/device_words.h"
#include "window/headless_window.h"

namespace quillon::cli {
namespace {

constexpr auto kRefresh = std::chrono::milliseconds(200);

std::string bar(const char* name, int percent, int cells) {
    percent = std::clamp(percent, 0, 100);
    const int full = percent * cells / 100;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s [%s%s] %3d%%", name,
                  std::string(std::size_t(full), '#').c_str(),
                  std::string(std::size_t(cells - full), '-').c_str(), percent);
    return buf;
}

// At most `cols` characters (code points) of a text already made safe for a terminal.
std::string fit(const std::string& text, int cols) {
    if (cols <= 0) return std::string();
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continuation byte
        if (seen++ == cols) return text.substr(0, i);
    }
    return text;
}

}  // namespace

std::vector<std::string> progress_lines(const ProgressState& s, int width) {
    const int cols = std::max(width - 1, 10);
    // Three bars and the counter take 48 columns besides the bars' cells.
    const int cells = std::clamp((cols - 48) / 3, 5, 20);
    std::vector<std::string> out;
    out.push_back(fit(bar("IMG", s.image_bar, cells) + "  " + bar("DEV", s.device_bar, cells) +
                          "  " + bar("ALL", s.batch_bar, cells) + "  " + terminal_text(s.counter),
                      cols));
    for (const std::string& w : s.workers) out.push_back(fit(terminal_text(w), cols));
    return out;
}

ProgressDisplay::ProgressDisplay(int fd, bool live) : fd_(fd), live_(live) {}

ProgressDisplay::~ProgressDisplay() { stop(); }

int ProgressDisplay::width() const { return terminal_width(fd_); }

void ProgressDisplay::erase_block() {
    if (drawn_ == 0) return;
    // Up to the block's first line, then clear everything below it.
    write_all_fd(fd_, "\033[" + std::to_string(drawn_) + "A\r\033[J");
    drawn_ = 0;
}

void ProgressDisplay::draw(const ProgressState& state) {
    std::string out;
    if (drawn_ > 0) out += "\033[" + std::to_string(drawn_) + "A";
    const auto lines = progress_lines(state, width());
    for (const auto& l : lines) out += "\r\033[K" + l + "\n";
    out += "\033[J";  // a shorter block leaves nothing of the longer one below it
    write_all_fd(fd_, out);
    drawn_ = int(lines.size());
}

void ProgressDisplay::message(const std::string& text) {
    std::lock_guard l(lock_);
    if (live_) erase_block();
    write_all_fd(fd_, terminal_text(text) + "\n");
}

ProgressState ProgressDisplay::gather(HeadlessWindow& window, UpgradeEngine& engine) const {
    const HeadlessWidgets w = window.widgets();
    ProgressState s;
    s.image_bar = w.image_bar;
    s.device_bar = w.device_bar;
    s.batch_bar = w.batch_bar;
    s.counter = w.counter;
    for (int i = 0; i < kWorkers; ++i) {
        const WorkerSnapshot worker = engine.worker(i);
        if (!worker.live) continue;
        std::string status = worker_status_text(worker.status);
        if (status.empty()) status = std::string("IP:").append(worker.cur_ip);
        // Appended rather than "literal" + string: GCC 12 warns falsely (-Wrestrict) on the latter.
        s.workers.push_back(std::string("[").append(std::to_string(i)).append("] ").append(status));
    }
    // After the last pass: how many rebooted devices the end of the batch still waits for.
    if (s.workers.empty() && engine.come_back()) {
        if (const int n = engine.come_back()->awaited(); n > 0)
            s.workers.push_back(awaiting_text(n));
    }
    return s;
}

void ProgressDisplay::start(HeadlessWindow& window, UpgradeEngine& engine) {
    if (!live_ || thread_.joinable()) return;
    {
        std::lock_guard l(wake_lock_);
        stopping_ = false;
    }
    thread_ = std::thread([this, &window, &engine] { refresh_loop(window, engine); });
}

void ProgressDisplay::refresh_loop(HeadlessWindow& window, UpgradeEngine& engine) {
    for (;;) {
        const ProgressState state = gather(window, engine);
        {
            std::lock_guard l(lock_);
            draw(state);
        }
        std::unique_lock l(wake_lock_);
        if (wake_.wait_for(l, kRefresh, [this] { return stopping_; })) break;
    }
    // The final state stays on the screen.
    const ProgressState state = gather(window, engine);
    std::lock_guard l(lock_);
    draw(state);
    drawn_ = 0;
}

void ProgressDisplay::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard l(wake_lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

}  // namespace quillon::cli
