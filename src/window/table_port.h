// SPDX-License-Identifier: Apache-2.0
#pragma once
// The list and record half of the window port, shared by every front end.
//
// A front end (the Qt main window, the headless runner, a test) derives from TablePort and
// supplies:
//   - run_on_window_thread: run a function on the window's thread and wait for it (run it at
//     once when already there);
//   - add_type_filter_entry_once: the type filter's "append unless present" (window thread);
//   - every widget method of WindowPort (show_worker and show_followed_status decide on the
//     window's thread whether the worker is the one followed), the status line, the counter
//     and the type filter's text, flags(), user_report() and show_user_report().
// Each list request below then runs whole on the window's thread, so the engine, the intake and
// the window's own commands never see a half-done operation. The record tables have their own
// lock, so the record-only requests (look-ups, set_record_tick, clear_records) run on the
// caller's thread and never wait for the window.
#include <chrono>
#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <vector>
#include <utility>

#include "contract/window_port.h"
#include "window/device_table.h"
#include "window/record_tables.h"

namespace quillon {

class TablePort : public WindowPort {
public:
    // ---- the device list ----
    int row_count() override;
    void set_check(int row, bool ticked) override;
    bool get_check(int row) override;
    std::string device_text(int row, DeviceField field) override;
    int count_checked() override;
    int deal_rows(int workers) override;
    int next_row_of(int worker, int from) override;
    // Empties the list (the window's own commands).
    void clear_rows();

    // ---- one device's row: each a single request, worded by device_words ----
    void device_begun(int row, std::time_t begun) override;
    void device_state(int row, DeviceState state) override;
    void device_image(int row, const ImageProgress& progress) override;
    void device_ended(int row, bool success, std::chrono::seconds elapsed) override;
    void device_came_back(int row, const std::string& version) override;

    // ---- compound operations ----
    // Also refuses (-1) when the intake has been closed by the time the request runs (unless
    // the device came within a search window that has since run out, WindowFlags): the
    // commands that filter, sort or empty the list close it first, on the window's thread, so
    // a late answer can no longer land in a rebuilt list and push the records out of step.
    int insert_found_device(const FoundDevice& dev) override;
    // One request for all of them; the view is told once about the rows they add.
    int insert_found_devices(const std::vector<FoundDevice>& devs) override;
    int add_range_row(const std::string& ip) override;
    void update_row_by_ip(const std::string& ip, const std::string& devid, const std::string& mac,
                          const std::string& type_name, const std::string& version,
                          const std::string& status) override;
    void set_record_tick(RecordTable table, const std::string& ip, const std::string& mac,
                         bool ticked) override;
    // The window's own commands empty the record tables.
    void clear_records(RecordTable table);
    bool admits_type(const std::string& ip) override;
    std::string lookup_range_mac(const std::string& ip) override;

    // ---- widgets worded here ----
    void show_awaited(int devices) override;
    void show_count(int done, int total) override;
    // Reads and moves the bar in the one request (set_batch_bar and get_batch_bar run inside it).
    void raise_batch_bar(int pos) override;
    void show_message(BatchMessage what) override;

    // The type filter's current text ("ALL" in the current language shows every type).
    virtual std::string type_filter_text() = 0;
    // The status line and the counter, as the front end shows them.
    virtual void set_status_line(const std::string& text) = 0;
    virtual void set_counter(const std::string& text) = 0;
    // A message box with the caption "Upgrade" and an OK button; returns when it is dismissed.
    virtual void message_box(const std::string& text) = 0;

    // The table itself, for the window's own commands and its view: window thread only.
    DeviceTable& device_table() { return table_; }
    // The record tables lock themselves: any thread.
    RecordTables& record_tables() { return records_; }

protected:
    // Runs fn on the window's thread and returns when it has ended; runs it at once when called
    // on the window's thread. If the window is gone and fn cannot run, it returns without running
    // it: the requests then answer as for an empty list (0, -1, empty text, false).
    virtual void run_on_window_thread(const std::function<void()>& fn) = 0;
    // Appends name to the type filter's entries unless an entry has exactly this text; the
    // current choice stays. Called on the window's thread.
    virtual void add_type_filter_entry_once(const std::string& name) = 0;
    // The local time as "%04d-%02d-%02d %02d:%02d:%02d" (BEGIN TIME of a range row).
    virtual std::string local_time_text();

private:
    // The intake's insertion on the window's thread: devices in order, each judged against
    // the flags and every row before it; the new rows are appended together. How many.
    int list_found_devices(const FoundDevice* devs, std::size_t n);

    template <class R, class F>
    R on_window(R result, F&& f) {
        run_on_window_thread([&] { result = f(); });
        return result;
    }

    // The column that shows a device field.
    static int column_of(DeviceField field);

    DeviceTable table_;
    RecordTables records_;
};

}  // namespace quillon
