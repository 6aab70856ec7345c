// SPDX-License-Identifier: Apache-2.0
#pragma once
// Test doubles for the engine's unit tests: a window that records what it is asked, a fake
// device on 127.0.0.1, temporary image files, and shortened timings.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine_internals.h"
#include "engine/upgrade_engine.h"
#include "contract/window_port.h"
#include "engine/wire_format.h"
#include "log/log_file.h"
#include "platform/socket.h"
#include "platform/tcp_service.h"
#include "platform/timing.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "texts/ui_texts.h"
#include "window/device_table.h"
#include "window/device_words.h"

namespace quillon::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Deterministic bytes of a given size.
inline std::vector<uint8_t> pattern(std::size_t n, uint32_t seed = 1) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 12345;
    for (auto& b : v) {
        x = x * 1103515245u + 12345;
        b = uint8_t(x >> 16);
    }
    return v;
}

// Writes data followed by a trailer; the trailer's crc is correct unless `crc` is given.
struct ImageSpec {
    std::vector<uint8_t> data;
    uint8_t xor_flag = 0, xor_key = 0;
    int64_t length = -1;  // -1: the data size
    int64_t crc = -1;     // -1: the right checksum
};
inline ImageHeader write_image(const std::string& path, const ImageSpec& s) {
    ImageHeader h;
    for (std::size_t i = 0; i < kImageHeaderSize; ++i) h.bytes[i] = uint8_t(0xA0 + i);  // opaque
    h.set_xor(s.xor_flag, s.xor_key);
    h.set_length(s.length < 0 ? uint32_t(s.data.size()) : uint32_t(s.length));
    h.set_crc(s.crc < 0 ? image_checksum(s.data.data(), s.data.size(), s.xor_flag, s.xor_key)
                        : uint32_t(s.crc));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(s.data.data()), std::streamsize(s.data.size()));
    out.write(reinterpret_cast<const char*>(h.bytes), kImageHeaderSize);
    return h;
}

// Shortened timings for the test's life; the previous ones come back afterwards.
class ShortTimings {
public:
    ShortTimings() : saved_(timing()) {
        Timing& t = timing();
        t.conflict_wait_step = 1ms;
        t.fake_extra_wait = 1ms;
        t.fake_step_unit = 1ms;
        t.connect_attempts = 3;
        t.connect_wait = 2000ms;
        t.range_first_attempts = 1;
        t.range_first_wait = 1000ms;
        t.select_wait = 20ms;
        t.exchange_idle_limit = 5000ms;
        t.echo_wait = 1000ms;
    }
    ~ShortTimings() { timing() = saved_; }

private:
    Timing saved_;
};

// A window that records every request. Thread-safe: workers and tests call it concurrently.
class FakeWindow : public WindowPort {
public:
    struct CellWrite {
        int row, col;
        std::string text;
    };

    explicit FakeWindow(const std::string& report_path) { report_.Open(report_path); }

    int selected = 0;
    // Called after every request that reads or raises the batch bar, as another worker's
    // request may come right after it.
    std::function<void()> after_bar_request;
    // Called (outside the window's lock) after every cell write, on the writer's thread.
    std::function<void(int row, int col, const std::string& text)> on_cell;

    std::vector<CellWrite> cell_writes() const {
        std::lock_guard l(m_);
        return cells_;
    }
    std::vector<std::string> column(int col) const {
        std::lock_guard l(m_);
        std::vector<std::string> out;
        for (auto& c : cells_)
            if (c.col == col) out.push_back(c.text);
        return out;
    }
    std::string last(int col) const {
        auto v = column(col);
        return v.empty() ? std::string() : v.back();
    }
    std::vector<std::string> status_lines() const {
        std::lock_guard l(m_);
        return status_;
    }
    std::vector<int> image_bar() const {
        std::lock_guard l(m_);
        return image_bar_;
    }
    std::vector<int> device_bar() const {
        std::lock_guard l(m_);
        return device_bar_;
    }
    int batch_bar() const {
        std::lock_guard l(m_);
        return batch_bar_;
    }

    int row_count() override { return 0; }
    // Records a write to one of the device table's columns (PERCENT 5, STAT 6, ...), worded as
    // the real window words the device's terms.
    void set_cell(int row, int col, const std::string& text) {
        {
            std::lock_guard l(m_);
            cells_.push_back({row, col, text});
        }
        if (on_cell) on_cell(row, col, text);
    }
    std::string device_text(int, DeviceField) override { return {}; }
    void set_check(int, bool) override {}
    bool get_check(int) override { return false; }
    int count_checked() override { return 0; }
    int deal_rows(int) override { return 0; }
    int next_row_of(int, int) override { return -1; }
    void device_begun(int row, std::time_t at) override {
        set_cell(row, col_begin, begin_time_text(at));
        set_cell(row, col_elapsed, elapsed_text(std::chrono::seconds(0)));
    }
    void device_state(int row, DeviceState state) override {
        set_cell(row, col_stat, device_state_word(state));
    }
    void device_image(int row, const ImageProgress& p) override {
        set_cell(row, col_percent, image_progress_text(p));
        set_cell(row, col_stat, image_phase_word(p.phase));
    }
    void device_ended(int row, bool success, std::chrono::seconds elapsed) override {
        set_cell(row, col_stat, outcome_word(success));
        set_cell(row, col_elapsed, elapsed_text(elapsed));
    }
    void device_came_back(int row, const std::string& version) override {
        set_cell(row, col_version, version);
    }
    int insert_found_device(const FoundDevice&) override { return -1; }
    int insert_found_devices(const std::vector<FoundDevice>&) override { return 0; }
    int add_range_row(const std::string&) override { return -1; }
    void update_row_by_ip(const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, const std::string&) override {}
    void set_record_tick(RecordTable, const std::string&, const std::string&, bool) override {}
    bool admits_type(const std::string&) override { return true; }
    std::string lookup_range_mac(const std::string&) override { return {}; }
    // As the real window: only the followed worker's view is shown.
    void show_worker(int w, const WorkerView& v) override {
        if (w != selected) return;
        std::lock_guard l(m_);
        if (v.status) status_.push_back(worker_status_text(*v.status));
        if (v.image_bar >= 0) image_bar_.push_back(v.image_bar);
        if (v.device_bar >= 0) device_bar_.push_back(v.device_bar);
    }
    void show_followed_status(const std::vector<WorkerStatus>& of_worker) override {
        if (of_worker.empty()) return;
        const int w = std::clamp(selected, 0, int(of_worker.size()) - 1);
        std::lock_guard l(m_);
        status_.push_back(worker_status_text(of_worker[std::size_t(w)]));
    }
    void show_awaited(int n) override {
        std::lock_guard l(m_);
        status_.push_back(awaiting_text(n));
    }
    void show_count(int done, int total) override {
        set_batch_bar(total > 0 ? 100 * done / total : 0);
    }
    void set_batch_bar(int pos) override {
        std::lock_guard l(m_);
        batch_bar_ = pos;
    }
    int get_batch_bar() override {
        const int pos = batch_bar();
        if (after_bar_request) after_bar_request();
        return pos;
    }
    void raise_batch_bar(int pos) override {
        {
            std::lock_guard l(m_);
            batch_bar_ = std::max(batch_bar_, pos);
        }
        if (after_bar_request) after_bar_request();
    }
    bool range_box_checked() override { return false; }
    bool is_stop_enabled() override { return true; }
    void show_message(BatchMessage) override {}
    void enter_idle() override {}
    WindowFlags& flags() override { return flags_; }
    LogFile& user_report() override { return report_; }
    void show_user_report() override {}

private:
    mutable std::mutex m_;
    std::vector<CellWrite> cells_;
    std::vector<std::string> status_;
    std::vector<int> image_bar_, device_bar_;
    int batch_bar_ = 0;
    WindowFlags flags_;
    LogFile report_;
};

// Records the directed searches of the conflict check; may raise a worker's conflict flag the
// way the discovery intake would when another device answers.
class RecordingSearch : public SearchSender {
public:
    void search(int both, const char* target) override {
        std::lock_guard l(m_);
        calls.push_back({both, target ? target : "<broadcast>"});
        if (on_search) on_search();
    }
    std::vector<std::pair<int, std::string>> calls;
    std::function<void()> on_search;
    std::mutex m_;
};

// Waits until `s` can be read (or written) or `limit` passes.
inline bool wait_ready(SocketHandle s, bool for_write, std::chrono::milliseconds limit) {
    SocketWait w;
    w.s = s;
    w.want_read = !for_write;
    w.want_write = for_write;
    return wait_sockets(&w, 1, limit) > 0;
}

inline bool write_all(SocketHandle fd, const void* p, std::size_t n) {
    auto* b = static_cast<const uint8_t*>(p);
    while (n > 0) {
        const long k = send_now(fd, b, n);
        if (k == kWouldBlock) {
            if (!wait_ready(fd, true, 10s)) return false;
            continue;
        }
        if (k <= 0) return false;
        b += k;
        n -= std::size_t(k);
    }
    return true;
}

inline bool send_record(SocketHandle fd, uint32_t cmd, uint32_t value) {
    uint8_t rec[kCmdRecordSize];
    CmdRecord{cmd, value}.encode(rec);
    return write_all(fd, rec, sizeof rec);
}

// Reads exactly n bytes (appended to `out`) unless the peer closes or `limit` passes.
inline bool read_exact(SocketHandle fd, std::size_t n, std::vector<uint8_t>& out,
                       std::chrono::milliseconds limit = 10s) {
    const auto end = Clock::now() + limit;
    std::vector<uint8_t> buf(65536);
    while (n > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return false;
        if (!wait_ready(fd, false, left)) return false;
        const long k = receive_now(fd, buf.data(), std::min(n, buf.size()));
        if (k == kWouldBlock) continue;
        if (k <= 0) return false;
        out.insert(out.end(), buf.begin(), buf.begin() + k);
        n -= std::size_t(k);
    }
    return true;
}

// True when the peer closed the connection (after any bytes, which are appended to `out`); a
// reset counts as closed too.
inline bool read_to_eof(SocketHandle fd, std::vector<uint8_t>& out,
                        std::chrono::milliseconds limit = 10s) {
    const auto end = Clock::now() + limit;
    std::vector<uint8_t> buf(65536);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return false;
        if (!wait_ready(fd, false, left)) return false;
        const long k = receive_now(fd, buf.data(), buf.size());
        if (k == kWouldBlock) continue;
        if (k == 0) return true;
        if (k < 0) return is_connection_reset(last_socket_error());
        out.insert(out.end(), buf.begin(), buf.begin() + k);
    }
}

// A TCP socket bound to 127.0.0.1 and a free port.
inline Socket loopback_tcp_socket() {
    Socket s = open_tcp_socket();
    if (s.valid() && bind_ipv4(s.get(), *parse_ipv4("127.0.0.1"), 0) != 0) s.reset();
    return s;
}

// Both ends of one TCP connection on 127.0.0.1, the socket pair that both systems have: `tool`
// made and connected as the engine makes its own, `device` the accepted end. Small writes go out
// at once on both.
inline bool connected_pair(Socket& tool, Socket& device) {
    Socket listener = loopback_tcp_socket();
    if (!listener.valid() || listen_on(listener.get(), 1) != 0) return false;
    tool = open_tcp_socket();
    if (!connect_within(tool.get(), *parse_ipv4("127.0.0.1"), local_port(listener.get()), 10s))
        return false;
    settle_connected(tool.get());
    device = accept_connection(listener.get());
    if (!device.valid()) return false;
    set_no_delay(tool.get());
    set_no_delay(device.get());
    return true;
}

// A device's upgrade service on 127.0.0.1 and a free port: accepts connections one after the
// other and runs `script` on each in its own thread.
class FakeDevice {
public:
    using Script = std::function<void(SocketHandle fd)>;

    // `rcvbuf` > 0: a small receive buffer, as a slow device has (inherited by connections).
    explicit FakeDevice(Script script, int rcvbuf = 0) : script_(std::move(script)) {
        listen_ = loopback_tcp_socket();
        if (rcvbuf > 0) set_buffer_sizes(listen_.get(), rcvbuf, 0);
        port_ = local_port(listen_.get());
        listen_on(listen_.get(), 8);
        thread_ = std::thread([this] { run(); });
    }
    ~FakeDevice() {
        stop_ = true;
        thread_.join();
    }
    uint16_t port() const { return port_; }
    int accepted() const { return accepted_; }
    bool finished() const { return finished_ == accepted_; }

private:
    void run() {
        while (!stop_) {
            if (!wait_ready(listen_.get(), false, 10ms)) continue;
            Socket fd = accept_connection(listen_.get());
            if (!fd.valid()) continue;
            ++accepted_;
            set_no_delay(fd.get());
            script_(fd.get());
            ++finished_;
        }
    }

    Script script_;
    Socket listen_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0}, finished_{0};
    std::thread thread_;
};

// A port on 127.0.0.1 that refuses connections: bound, never listening.
class ClosedPort {
public:
    ClosedPort() : s_(loopback_tcp_socket()), port_(local_port(s_.get())) {}
    uint16_t port() const { return port_; }

private:
    Socket s_;
    uint16_t port_ = 0;
};

// A port on 127.0.0.1 that never answers a connection attempt: its accept queue is full, so the
// kernel drops further SYNs, as for a host that has gone silent.
class SilentPort {
public:
    SilentPort() {
        listen_ = loopback_tcp_socket();
        port_ = local_port(listen_.get());
        listen_on(listen_.get(), 0);
        filler_ = open_tcp_socket();
        connect_within(filler_.get(), *parse_ipv4("127.0.0.1"), port_, 1000ms);
    }
    uint16_t port() const { return port_; }

private:
    Socket listen_, filler_;
    uint16_t port_ = 0;
};

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

inline int count_of(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (std::size_t pos = hay.find(needle); pos != std::string::npos;
         pos = hay.find(needle, pos + needle.size()))
        ++n;
    return n;
}

// An engine wired to a recording window and search, with English texts and short timings.
class EngineTest : public ::testing::Test {
protected:
    EngineTest() : window(dir / "upgrade_user.html") {
        ui_texts().fill(true);
        engine.m_dlg = &window;
        engine.m_search = &search;
    }

    // Writes and loads one image per description into slots 0, 1, ...; fails the test if the load fails.
    void load(const std::vector<ImageSpec>& specs) {
        for (std::size_t i = 0; i < specs.size(); ++i) {
            const std::string path = dir / ("slot" + std::to_string(i) + ".img");
            write_image(path, specs[i]);
            engine.m_url[i] = path;
        }
        ASSERT_TRUE(engine.load_images());
    }

    std::string report() const { return read_file(dir / "upgrade_user.html"); }

    TempDir dir;
    ShortTimings timings;
    FakeWindow window;
    RecordingSearch search;
    EngineInternals engine;
};

}  // namespace quillon::test
