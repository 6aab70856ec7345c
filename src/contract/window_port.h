// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the engine and the discovery intake may ask of the main window.
//
// Every call runs whole on the window's thread while the caller waits (the Qt window marshals it
// with a blocking queued call, the headless runner through its serial window thread), so single
// calls never interleave with each other or with the window's own commands. A sequence of calls is
// not atomic; where a caller needs several steps to be one (the intake's duplicate check and
// insertion, counting ticked rows) the port offers one compound call.
//
// The window thread never waits for a worker, so a caller may hold g_list_lock while it calls.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

class LogFile;

// When a discovery answer reached our socket (steady clock); the epoch value = not known.
using ArrivalTime = std::chrono::steady_clock::time_point;

// Flags of the main window that the discovery receive thread reads without a request.
struct WindowFlags {
    std::atomic<int> intake_closed{0};   // 1: discovery answers add no rows
    std::atomic<int> conflict_watch{0};  // 1: answers are compared with the workers' devices

    // A search window ends by its clock, but the answers that reached the sockets before then
    // may still be waiting to be read. Those came in time and are listed all the same; one
    // that arrived later is not. A command that closes the intake (CLEAN, START, the range box,
    // ...) ends that too: the list may have been emptied or a batch started.
    // window_end_ns: the end of the last search window that ran out (steady clock, ns), or
    // kWindowOpen while one is open, or 0 once a command has closed the intake.
    static constexpr std::int64_t kWindowOpen = -1;
    std::atomic<std::int64_t> window_end_ns{0};

    // The search window's own thread, as it opens the intake.
    void open_search_window() {
        window_end_ns.store(kWindowOpen);
        intake_closed.store(0);
    }
    // The search window's time ran out at `now`. Unless a command closed the intake meanwhile,
    // answers that arrived up to `now` are still taken.
    void end_search_window(ArrivalTime now) {
        std::int64_t open = kWindowOpen;
        window_end_ns.compare_exchange_strong(open, ns_of(now));
        intake_closed.store(1);
    }
    // A command closes the intake: no answer is taken any more, however early it arrived.
    void close_intake() {
        window_end_ns.store(0);
        intake_closed.store(1);
    }
    // True when an answer that arrived at `arrived` is to be listed: the intake is open, or it
    // was closed by the end of a search window that the answer arrived within.
    bool takes_answer(ArrivalTime arrived) const {
        if (intake_closed.load() == 0) return true;
        const std::int64_t end = window_end_ns.load();
        const std::int64_t at = ns_of(arrived);
        return end > 0 && at > 0 && at <= end;
    }

    static std::int64_t ns_of(ArrivalTime t) {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    }
};

enum class RecordTable { found, range };

// What a text of a device's row says. The engine and the journal name these; the device table
// maps them to its columns.
enum class DeviceField { ip, mac, progress, state, elapsed, begin_time, version };

// The engine's copies of a device's address and MAC texts hold at most this many bytes.
inline constexpr std::size_t kEngineTextMax = 127;

// One discovery answer reduced to what the device list shows.
struct FoundDevice {
    std::string ip, devid, mac, type_name, version, status, begin_time;
    ArrivalTime arrived{};  // not known: taken only while the intake is open
    bool named =
        false;  // named by the person (quillon-cli --device): listed whatever the intake's state
};

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // ---- device list, elementary operations (rows and columns 0-based; bad rows do nothing) ----
    virtual int row_count() = 0;
    virtual void set_cell(int row, int col, const std::string& text) = 0;
    virtual std::string get_cell(int row, int col) = 0;
    virtual void set_check(int row, bool ticked) = 0;
    virtual bool get_check(int row) = 0;
    virtual void set_tag(int row, int tag) = 0;
    virtual int get_tag(int row) = 0;
    virtual void clear_rows() = 0;

    // ---- one device's row, by what its texts say (bad rows do nothing) ----
    virtual void set_device_text(int row, DeviceField field, const std::string& text) = 0;
    virtual std::string device_text(int row, DeviceField field) = 0;

    // ---- compound list operations ----
    virtual int count_checked() = 0;
    // Intake: unless a row already has this IP or this MAC, append the device as a ticked row
    // numbered by the row count before it, tag -1, offer its type in the type filter once, and save
    // its record in found_records. Returns the new row, or -1 when the device was already listed.
    virtual int insert_found_device(const FoundDevice& dev) = 0;
    // The same for several answers in their order, as one request: the intake hands over what
    // the sockets held at once, so that a large building costs one hand-over, not one per device.
    // Each device is judged when its turn comes (WindowFlags::takes_answer with its arrival
    // time, then the duplicate check against every row, also those added just before it).
    // Returns how many were listed.
    virtual int insert_found_devices(const std::vector<FoundDevice>& devs) {
        int listed = 0;
        for (const FoundDevice& d : devs) listed += insert_found_device(d) >= 0 ? 1 : 0;
        return listed;
    }
    // Range mode: append a row for an answering address and save it in range_records.
    virtual int add_range_row(const std::string& ip, const std::string& status) = 0;
    // Range refresh by a discovery answer: rows and range_records entries with this IP.
    virtual void update_row_by_ip(const std::string& ip, const std::string& devid,
                                  const std::string& mac, const std::string& type_name,
                                  const std::string& version, const std::string& status) = 0;
    // Text 10 ("TRUE"/"FLASE") of the device's records: same IP, and in found_records the same
    // MAC. Rows may have been sorted or filtered since the records were saved.
    virtual void set_record_tick(RecordTable table, const std::string& ip, const std::string& mac,
                                 bool ticked) = 0;
    virtual void clear_records(RecordTable table) = 0;
    virtual std::string lookup_type(const std::string& ip) = 0;
    virtual std::string lookup_range_mac(const std::string& ip) = 0;

    // ---- widgets ----
    virtual int selected_worker() = 0;
    // What worker w has to show in the status line and the image and device bars. The window
    // shows it only while w is the worker it follows (selected_worker): the engine reports every
    // worker and the view decides. A null status or a negative bar leaves that widget as it is.
    virtual void show_worker(int w, const std::string* status, int image_bar, int device_bar) {
        if (selected_worker() != w) return;
        if (status) set_status_line(*status);
        if (image_bar >= 0) set_image_bar(image_bar);
        if (device_bar >= 0) set_device_bar(device_bar);
    }
    // The status line shows again the status of the worker the window follows (the first one
    // when it follows none); `status_of_worker` holds every worker's status line.
    virtual void show_followed_status(const std::vector<std::string>& status_of_worker) {
        if (status_of_worker.empty()) return;
        const int last = int(status_of_worker.size()) - 1;
        const int w = selected_worker();
        set_status_line(status_of_worker[std::size_t(w < 0 ? 0 : w > last ? last : w)]);
    }
    virtual void set_status_line(const std::string& text) = 0;
    virtual void set_image_bar(int pos) = 0;
    virtual void set_device_bar(int pos) = 0;
    virtual void set_batch_bar(int pos) = 0;
    virtual int get_batch_bar() = 0;
    virtual void set_counter(const std::string& text) = 0;
    virtual std::string type_filter_text() = 0;
    // The desktop window answers from a copy of the box that its thread keeps current, without
    // a request: the intake asks for it with every answer while the intake is closed.
    virtual bool range_box_checked() = 0;
    virtual bool is_stop_enabled() = 0;
    // A message box with the caption "Upgrade" and an OK button; returns when it is dismissed.
    virtual void message_box(const std::string& text) = 0;
    // Enables every control that START disabled and turns STOP back into CLEAN.
    virtual void enter_idle() = 0;

    // ---- not requests: state the window owns that other threads use directly ----
    virtual WindowFlags& flags() = 0;
    virtual LogFile& user_report() = 0;
    // The user report is opened for the user at the end of a batch (the desktop's handler, or
    // the headless tool prints its path).
    virtual void show_user_report() = 0;
};

}  // namespace quillon
