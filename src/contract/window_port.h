// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the engine and the discovery intake may ask of the main window, in the device's terms:
// the window decides the columns, the words and whether a worker's view is the one it follows.
//
// Every call runs whole on the window's thread while the caller waits (the Qt window marshals it
// with a blocking queued call, the headless runner through its serial window thread), so single
// calls never interleave with each other or with the window's own commands. A sequence of calls is
// not atomic; where a caller needs several steps to be one (the intake's duplicate check and
// insertion, counting ticked rows, dealing them to the workers, a device's end) the port offers
// one compound call.
//
// The window thread never waits for a worker, so a caller may hold g_list_lock while it calls.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "contract/worker_status.h"

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

// What a text of a device's row says. The engine and the journal read these; the device table
// maps them to its columns.
enum class DeviceField { ip, mac, progress, state, elapsed, begin_time, version };

// What a device is doing besides an image's phases and its end.
enum class DeviceState { connecting, running, lost, not_back };

// The message a batch leaves for the person at its end, or when it cannot run.
enum class BatchMessage {
    done,              // every pass ran
    stopped,           // STOP ended it, or it was stopped before it began
    image_bad,         // an image failed its check: nothing was sent
    echo_unavailable,  // a range pass could not probe any address from here
};

struct ImageProgress {
    int slot = 0;  // the image's slot: 0 boot, 1 kernel, 2 system, 3 app
    ImagePhase phase = ImagePhase::sending;
    int device_percent = 0;  // the device's share of all its images, 0..100
    // A simulated upgrade (fake burn) shows its sending share with a trailing space, as the
    // tool always has; people and scripts that read the list can tell the two apart by it.
    bool simulated = false;
};

// What one worker has for the status line and the image and device bars. The window shows it
// only while that worker is the one it follows; the engine reports every worker.
struct WorkerView {
    const WorkerStatus* status = nullptr;  // null: the status line stays as it is
    int image_bar = -1;                    // negative: that bar stays as it is
    int device_bar = -1;
};

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

    // ---- the device list (rows 0-based; bad rows do nothing) ----
    virtual int row_count() = 0;
    virtual void set_check(int row, bool ticked) = 0;
    virtual bool get_check(int row) = 0;
    virtual std::string device_text(int row, DeviceField field) = 0;
    virtual int count_checked() = 0;
    // Deals the ticked rows to workers 0..workers-1 in turn, in list order, and takes every
    // unticked row from all of them. Returns how many rows are ticked.
    virtual int deal_rows(int workers) = 0;
    // The first ticked row at or after `from` that is dealt to `worker`; -1 when there is none.
    virtual int next_row_of(int worker, int from) = 0;

    // ---- one device's row, in the device's terms; the window words them ----
    // Its upgrade begins at `begun` (wall clock): BEGIN TIME, and the elapsed time from zero.
    virtual void device_begun(int row, std::time_t begun) = 0;
    virtual void device_state(int row, DeviceState state) = 0;
    virtual void device_image(int row, const ImageProgress& progress) = 0;
    // Its end: success unticks the row and failure ticks it (the tick is what the next pass
    // still has to do), the outcome's word and the elapsed whole seconds.
    virtual void device_ended(int row, bool success, std::chrono::seconds elapsed) = 0;
    // It came back after its reboot with this version.
    virtual void device_came_back(int row, const std::string& version) = 0;

    // ---- compound list operations ----
    // Intake: unless a row already has this IP or this MAC, append the device as a ticked row
    // numbered by the row count before it, tag -1, offer its type in the type filter once, and save
    // its record in found_records. Returns the new row, or -1 when the device was already listed.
    virtual int insert_found_device(const FoundDevice& dev) = 0;
    // The same for several answers in their order, as one request: the intake hands over what
    // the sockets held at once, so that a large building costs one hand-over, not one per device.
    // Each device is judged when its turn comes (WindowFlags::takes_answer with its arrival
    // time, then the duplicate check against every row, also those added just before it).
    // Returns how many were listed.
    virtual int insert_found_devices(const std::vector<FoundDevice>& devs) = 0;
    // Range mode: append a running row for an answering address and save it in range_records.
    virtual int add_range_row(const std::string& ip) = 0;
    // Range refresh by a discovery answer: rows and range_records entries with this IP.
    virtual void update_row_by_ip(const std::string& ip, const std::string& devid,
                                  const std::string& mac, const std::string& type_name,
                                  const std::string& version, const std::string& status) = 0;
    // Text 10 ("TRUE"/"FLASE") of the device's records: same IP, and in found_records the same
    // MAC. Rows may have been sorted or filtered since the records were saved.
    virtual void set_record_tick(RecordTable table, const std::string& ip, const std::string& mac,
                                 bool ticked) = 0;
    // Range mode: whether the type filter lets the device at this address be upgraded (its type
    // as the range records know it is the one chosen, or the filter shows every type).
    virtual bool admits_type(const std::string& ip) = 0;
    virtual std::string lookup_range_mac(const std::string& ip) = 0;

    // ---- widgets ----
    // Worker w's status line and bars, in one request: the window decides there whether w is
    // the worker it follows.
    virtual void show_worker(int w, const WorkerView& view) = 0;
    // The status line shows again the status of the worker the window follows (the first one
    // when it follows none); `status_of_worker` holds every worker's status.
    virtual void show_followed_status(const std::vector<WorkerStatus>& status_of_worker) = 0;
    // The status line: how many rebooted devices the end of the batch still waits for.
    virtual void show_awaited(int devices) = 0;
    // The counter and the ALL bar: `done` of `total` devices of the pass.
    virtual void show_count(int done, int total) = 0;
    virtual void set_batch_bar(int pos) = 0;
    virtual int get_batch_bar() = 0;
    // The ALL bar moves to `pos` unless it already stands there or further, as one request:
    // workers that finish at once cannot interleave a read and a write and move it back.
    virtual void raise_batch_bar(int pos) = 0;
    // The desktop window answers from a copy of the box that its thread keeps current, without
    // a request: the intake asks for it with every answer while the intake is closed.
    virtual bool range_box_checked() = 0;
    virtual bool is_stop_enabled() = 0;
    // A message box with the caption "Upgrade" and an OK button; returns when it is dismissed.
    virtual void show_message(BatchMessage what) = 0;
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
