#pragma once
// Test doubles for the intake: a window port that records what the intake asks of the window,
// and the engine's worker slots.
#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "discovery/intake.h"
#include "engine/window_port.h"
#include "log/log_file.h"

namespace quillon::test {

struct RangeUpdate {
    std::string ip, devid, mac, type_name, version, status;
};

// Records the requests of the intake. Only the calls the intake may make are answered; any
// other list or widget request is counted as unexpected.
class RecordingPort : public WindowPort {
public:
    explicit RecordingPort(const std::filesystem::path& report_path) : report_path_(report_path) {
        report_.Open(report_path.string());
    }

    std::mutex mu;  // the calls may come from a receive thread while the test reads
    std::vector<FoundDevice> inserted;
    std::vector<RangeUpdate> updates;
    int range_box_queries = 0;
    int unexpected = 0;
    bool range_box = false;
    int insert_result = 0;

    std::string report_text() {
        std::ifstream in(report_path_);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    int row_count() override { return bad(); }
    int column_count() override { return bad(); }
    int append_row(const std::string&) override { return bad(); }
    void set_cell(int, int, const std::string&) override { bad(); }
    std::string get_cell(int, int) override { return bad(), std::string(); }
    void set_check(int, bool) override { bad(); }
    bool get_check(int) override { return bad(), false; }
    void set_tag(int, int) override { bad(); }
    int get_tag(int) override { return bad(); }
    void clear_rows() override { bad(); }
    int count_checked() override { return bad(); }
    int insert_found_device(const FoundDevice& dev) override {
        std::lock_guard<std::mutex> g(mu);
        inserted.push_back(dev);
        return insert_result;
    }
    int add_range_row(const std::string&, const std::string&) override { return bad(); }
    void update_row_by_ip(const std::string& ip, const std::string& devid, const std::string& mac,
                          const std::string& type_name, const std::string& version,
                          const std::string& status) override {
        std::lock_guard<std::mutex> g(mu);
        updates.push_back({ip, devid, mac, type_name, version, status});
    }
    void save_record(RecordTable, int) override { bad(); }
    void set_record_tick(RecordTable, int, bool) override { bad(); }
    void clear_records(RecordTable) override { bad(); }
    std::string lookup_devid(const std::string&) override { return bad(), std::string(); }
    std::string lookup_mac(const std::string&) override { return bad(), std::string(); }
    std::string lookup_type(const std::string&) override { return bad(), std::string(); }
    std::string lookup_version(const std::string&) override { return bad(), std::string(); }
    std::string lookup_range_mac(const std::string&) override { return bad(), std::string(); }
    int selected_worker() override { return bad(); }
    void set_status_line(const std::string&) override { bad(); }
    void set_image_bar(int) override { bad(); }
    void set_device_bar(int) override { bad(); }
    void set_batch_bar(int) override { bad(); }
    int get_batch_bar() override { return bad(); }
    void set_counter(const std::string&) override { bad(); }
    std::string type_filter_text() override { return bad(), std::string(); }
    bool range_box_checked() override {
        std::lock_guard<std::mutex> g(mu);
        ++range_box_queries;
        return range_box;
    }
    bool is_stop_enabled() override { return bad(); }
    void message_box(const std::string&) override { bad(); }
    void enter_idle() override { bad(); }
    WindowFlags& flags() override { return flags_; }
    LogFile& user_report() override { return report_; }
    void show_user_report() override { bad(); }

    void set_flags(int intake_closed, int conflict_watch) {
        flags_.intake_closed = intake_closed;
        flags_.conflict_watch = conflict_watch;
    }

private:
    int bad() {
        std::lock_guard<std::mutex> g(mu);
        ++unexpected;
        return 0;
    }

    std::filesystem::path report_path_;
    WindowFlags flags_;
    LogFile report_;
};

// The engine's ten worker slots as the conflict watch sees them.
class FakeWorkers : public WorkerWatch {
public:
    struct Slot {
        bool exists = false;
        std::string ip, mac;
    };

    std::mutex mu;
    int count = 0;
    std::array<Slot, kMaxWorkers> slots;
    std::array<std::atomic<int>, kMaxWorkers> conflict{};
    std::vector<int> queried;  // worker indexes asked for, in order

    void set(int i, const std::string& ip, const std::string& mac) {
        std::lock_guard<std::mutex> g(mu);
        slots[i] = {true, ip, mac};
    }

    int worker_count() override {
        std::lock_guard<std::mutex> g(mu);
        return count;
    }
    bool watched_device(int i, Watched& out) override {
        std::lock_guard<std::mutex> g(mu);
        queried.push_back(i);
        if (i < 0 || i >= kMaxWorkers || !slots[i].exists) return false;
        out.ip = slots[i].ip;
        out.mac = slots[i].mac;
        return true;
    }
    void flag_conflict(int i) override { conflict.at(i).store(1); }
};

// A temporary folder removed at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quillon_intake_XXXXXX").string();
        path_ = mkdtemp(tmpl.data()) ? std::filesystem::path(tmpl) : std::filesystem::path();
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace quillon::test
