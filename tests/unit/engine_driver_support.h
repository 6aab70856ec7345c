// SPDX-License-Identifier: Apache-2.0
#pragma once
// Test set-up for the batch driver: the engine behind the headless window, a fleet of fake
// devices on loopback addresses (127.0.0.x, one port for all), and a START as the window does it.
#include <zlib.h>

#include <atomic>
#include <map>
#include <set>

#include "engine/batch_observer.h"
#include "engine_test_support.h"
#include "window/headless_window.h"

namespace quillon::test {

// How one fake device behaves on every connection.
struct Behaviour {
    int fail_first = 0;        // the first N connections end with F value 0
    bool always_fail = false;  // every connection ends with F value 0
};

// What one connection brought to a device.
struct Received {
    std::vector<uint8_t> header;
    uint32_t length = 0;  // the header's length field
    uint64_t bytes = 0;   // image bytes received
    uint32_t digest = 0;  // zlib crc32 of those bytes
    int reboot_records = 0;
    bool answered_ok = false;  // the F record it sent had value 1
};

// Devices' upgrade services on several loopback addresses, all on one port. Every connection is
// served on a thread of its own: header, data, S and B records, then F (after the gate opens when
// the fleet holds its devices), then it reads until the tool closes.
class FakeFleet {
public:
    explicit FakeFleet(const std::vector<std::string>& ips) {
        for (int tries = 0; tries < 20 && !bind_all(ips); ++tries) {}
        thread_ = std::thread([this] { accept_loop(); });
    }
    ~FakeFleet() {
        release();
        stop_ = true;
        thread_.join();
        std::vector<std::thread> conns;
        {
            std::lock_guard l(m_);
            conns.swap(conns_);
        }
        for (auto& t : conns) t.join();
    }

    uint16_t port() const { return port_; }
    bool ok() const { return port_ != 0; }

    void set(const std::string& ip, Behaviour b) {
        std::lock_guard l(m_);
        behaviour_[ip] = b;
    }
    // From now on every device waits before its F record until release().
    void hold() {
        std::lock_guard l(m_);
        holding_ = true;
    }
    void release() {
        {
            std::lock_guard l(m_);
            holding_ = false;
        }
        gate_.notify_all();
    }
    // Devices waiting at the gate now.
    int in_hand() const {
        std::lock_guard l(m_);
        return waiting_;
    }
    int connections(const std::string& ip) const {
        std::lock_guard l(m_);
        auto it = received_.find(ip);
        return it == received_.end() ? 0 : int(it->second.size());
    }
    int connections() const {
        std::lock_guard l(m_);
        int n = 0;
        for (auto& [ip, v] : received_) n += int(v.size());
        return n;
    }
    std::vector<Received> received(const std::string& ip) const {
        std::lock_guard l(m_);
        auto it = received_.find(ip);
        return it == received_.end() ? std::vector<Received>() : it->second;
    }
    // Connections that have ended (the tool closed, or the device gave up).
    int ended() const { return ended_; }

private:
    bool bind_all(const std::vector<std::string>& ips) {
        listeners_.clear();
        port_ = 0;
        uint16_t port = 0;
        for (const auto& ip : ips) {
            Socket fd = open_tcp_socket();
            const auto addr = parse_ipv4(ip);
            if (!fd.valid() || !addr || bind_ipv4(fd.get(), *addr, port) != 0) return false;
            port = local_port(fd.get());
            listen_on(fd.get(), 16);
            listeners_.push_back({ip, std::move(fd)});
        }
        port_ = port;
        return true;
    }

    void accept_loop() {
        std::vector<SocketWait> p(listeners_.size());
        for (std::size_t i = 0; i < p.size(); ++i) p[i].s = listeners_[i].fd.get();
        while (!stop_) {
            if (wait_sockets(p.data(), p.size(), 10ms) <= 0) continue;
            for (std::size_t i = 0; i < p.size(); ++i) {
                if (!p[i].readable) continue;
                Socket fd = accept_connection(p[i].s);
                if (!fd.valid()) continue;
                set_no_delay(fd.get());
                const std::string ip = listeners_[i].ip;
                std::lock_guard l(m_);
                const int index = int(received_[ip].size());
                received_[ip].emplace_back();
                conns_.emplace_back([this, ip, index, f = std::make_shared<Socket>(std::move(fd))] {
                    serve(ip, index, f->get());
                });
            }
        }
    }

    void serve(const std::string& ip, int index, SocketHandle fd) {
        Received rec;
        std::vector<uint8_t> head;
        if (read_exact(fd, kImageHeaderSize, head)) {
            rec.header = head;
            ImageHeader h;
            std::memcpy(h.bytes, head.data(), kImageHeaderSize);
            rec.length = h.length();
            std::vector<uint8_t> data;
            if (read_exact(fd, rec.length, data)) {
                rec.bytes = data.size();
                rec.digest = uint32_t(::crc32(0, data.data(), uInt(data.size())));
                bool ok;
                {
                    std::lock_guard l(m_);
                    Behaviour& b = behaviour_[ip];
                    ok = !b.always_fail && index >= b.fail_first;
                }
                send_record(fd, kCmdSending, 100);
                send_record(fd, kCmdBurning, 100);
                {
                    std::unique_lock l(m_);
                    ++waiting_;
                    gate_.wait_for(l, 20s, [this] { return !holding_; });
                    --waiting_;
                }
                rec.answered_ok = ok;
                send_record(fd, kCmdFinish, ok ? 1 : 0);
                std::vector<uint8_t> rest;
                read_to_eof(fd, rest, 10s);
                for (std::size_t off = 0; off + kCmdRecordSize <= rest.size();
                     off += kCmdRecordSize)
                    if (CmdRecord::decode(rest.data() + off).cmd == kCmdReboot)
                        ++rec.reboot_records;
            }
        }
        {
            std::lock_guard l(m_);
            received_[ip][std::size_t(index)] = rec;
        }
        ++ended_;
    }

    struct Listener {
        std::string ip;
        Socket fd;
    };
    std::vector<Listener> listeners_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> ended_{0};
    mutable std::mutex m_;  // guards everything below
    std::condition_variable gate_;
    bool holding_ = false;
    int waiting_ = 0;
    std::map<std::string, Behaviour> behaviour_;
    std::map<std::string, std::vector<Received>> received_;
    std::vector<std::thread> conns_;
    std::thread thread_;  // last: starts once everything else exists
};

// Everything the driver told the observer.
class RecordingObserver : public BatchObserver {
public:
    void images_loaded(const UpgradeEngine& e) override {
        std::lock_guard l(m_);
        loaded_.push_back(static_cast<const EngineInternals&>(e).m_img_count);
    }
    void pass_started(int pass, int total, bool range) override {
        std::lock_guard l(m_);
        passes_.push_back({pass, total, range});
    }
    void device_ended(const DeviceResult& r) override {
        std::lock_guard l(m_);
        results_.push_back(r);
    }
    void address_silent(const std::string& ip) override {
        std::lock_guard l(m_);
        silent_.push_back(ip);
    }
    void batch_abandoned() override { abandoned.store(true); }
    std::atomic<bool> abandoned{false};
    struct Pass {
        int pass, total;
        bool range;
    };
    std::vector<DeviceResult> results() const {
        std::lock_guard l(m_);
        return results_;
    }
    std::vector<Pass> passes() const {
        std::lock_guard l(m_);
        return passes_;
    }
    std::vector<int> loaded() const {
        std::lock_guard l(m_);
        return loaded_;
    }
    // Addresses handled in one pass, sorted.
    std::vector<std::string> ips_of_pass(int pass) const {
        std::vector<std::string> out;
        for (auto& r : results())
            if (r.pass == pass) out.push_back(r.ip);
        std::sort(out.begin(), out.end());
        return out;
    }
    // Addresses one worker handled, in the order it handled them.
    std::vector<std::string> ips_of_worker(int w) const {
        std::vector<std::string> out;
        for (auto& r : results())
            if (r.worker == w) out.push_back(r.ip);
        return out;
    }

private:
    mutable std::mutex m_;
    std::vector<int> loaded_;
    std::vector<Pass> passes_;
    std::vector<DeviceResult> results_;
    std::vector<std::string> silent_;
};

// Every counter text the window showed, in order.
class CounterLog : public WidgetObserver {
public:
    void widget_changed(WidgetChange what, const HeadlessWidgets& now) override {
        if (what != WidgetChange::counter) return;
        std::lock_guard l(m_);
        texts_.push_back(now.counter);
    }
    std::vector<std::string> texts() const {
        std::lock_guard l(m_);
        return texts_;
    }

private:
    mutable std::mutex m_;
    std::vector<std::string> texts_;
};

inline uint32_t host_order(const char* ip) {
    const auto a = parse_ipv4(ip);
    return a ? net_to_host32(a->net) : 0;
}

// The driver with the headless window, a recording search and a fake fleet; English texts,
// shortened timings, the driver thread running.
class DriverTest : public ::testing::Test {
protected:
    DriverTest() {
        ui_texts().fill(true);
        Timing& t = timing();
        t.driver_poll = 5ms;
        t.pass_settle = 5ms;
        t.reboot_pause = 5ms;
        report.Open(dir / "upgrade_user.html");
        window.add_widget_observer(&counters);
        window.set_report_handler([this] { ++reports_shown; });
        engine.m_dlg = &window;
        engine.m_search = &search;
        engine.m_observer = &observer;
    }
    ~DriverTest() override {
        engine.m_running = 0;
        engine.stop_driver();
        window.remove_widget_observer(&counters);
    }

    // A fleet on these addresses; the engine connects to its port.
    void make_fleet(const std::vector<std::string>& ips) {
        fleet = std::make_unique<FakeFleet>(ips);
        ASSERT_TRUE(fleet->ok()) << "cannot bind the fake devices";
        engine.m_port = fleet->port();
        engine.start_driver();
    }

    // Image files into slots 0, 1, ... with the right checksums.
    void images(const std::vector<std::size_t>& sizes) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::string path = dir / ("img" + std::to_string(i) + ".img");
            write_image(path, ImageSpec{pattern(sizes[i], uint32_t(i + 1))});
            engine.m_url[i] = path;
        }
    }

    // A ticked "Ready" row, as the intake adds it while the search window is open.
    int add_row(const std::string& ip, const std::string& mac, const std::string& type = "PANEL") {
        window.flags().intake_closed = 0;
        FoundDevice d;
        d.ip = ip;
        d.devid = "01-01";
        d.mac = mac;
        d.type_name = type;
        d.version = "1.0";
        d.status = T(TextId::st_ready);
        d.begin_time = "2024-05-01 09:03:07";
        const int row = window.insert_found_device(d);
        window.flags().intake_closed = 1;
        return row;
    }

    // START as the window does it; false when a batch is still under way. With wake_driver
    // false only the running flag is set, as before the driver could be woken.
    bool start(int threads, bool auto_retry = false, bool wake_driver = false) {
        if (engine.m_running) return false;
        window.flags().intake_closed = 1;
        window.flags().conflict_watch = 1;
        engine.m_thread_num = threads;
        engine.m_auto_retry = auto_retry ? 1 : 0;
        window.leave_idle();
        window.set_stop_enabled(true);
        if (wake_driver) {
            engine.start_batch();
        } else {
            // The flag alone: the driver finds it at its next poll.
            std::lock_guard l(engine.g_run_lock);
            engine.m_running = 1;
        }
        return true;
    }
    bool start_range(const char* first, int last, int threads) {
        engine.m_ip_scan = 1;
        engine.m_ip_begin = host_order(first);
        engine.m_ip_end = last;
        return start(threads);
    }
    // The graceful stop of STOP answered Yes.
    void stop() {
        engine.m_running = 0;
        window.set_stop_enabled(false);
    }
    bool wait_batch(std::chrono::milliseconds limit = 60s) { return window.wait_idle(limit); }

    std::vector<std::string> report_lines() const {
        std::vector<std::string> out;
        for (auto& l : lines_of(read_file(dir / "upgrade_user.html"))) {
            // "<pre>[YYYY-MM-DD HH:MM:SS] " is 27 bytes; the rest is compared whole.
            if (l.size() > 27 && l.compare(0, 6, "<pre>[") == 0 && l[25] == ']')
                out.push_back(l.substr(27));
            else
                out.push_back("?" + l);
        }
        return out;
    }
    HeadlessWidgets widgets() { return window.widgets(); }
    DeviceRow row(int r) {
        DeviceRow out;
        window.run([&] { out = window.device_table().rows().at(std::size_t(r)); });
        return out;
    }
    int rows() { return window.row_count(); }

    TempDir dir;
    ShortTimings timings;
    LogFile report;
    HeadlessWindow window{report, {"ALL", "PANEL", "WALL", "MONITOR"}};
    RecordingSearch search;
    RecordingObserver observer;
    CounterLog counters;
    std::atomic<int> reports_shown{0};
    std::unique_ptr<FakeFleet> fleet;
    EngineInternals engine;  // after the window and the fleet: it goes first
};

// The fake devices' addresses 127.0.0.first .. first+count-1, and the MAC a fake device at an
// address answers with.
inline std::vector<std::string> ips(int first, int count) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back("127.0.0." + std::to_string(first + i));
    return out;
}

inline std::string mac_of(const std::string& ip) {
    return "02:00:00:00:00:" + ip.substr(ip.rfind('.') + 1);
}

}  // namespace quillon::test
