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
#include <string>

namespace quillon {

class LogFile;

// Flags of the main window that the discovery receive thread reads without a request.
struct WindowFlags {
    std::atomic<int> intake_closed{0};   // 1: discovery answers add no rows
    std::atomic<int> conflict_watch{0};  // 1: answers are compared with the workers' devices
};

enum class RecordTable { found, range };

// One discovery answer reduced to what the device list shows.
struct FoundDevice {
    std::string ip, devid, mac, type_name, version, status, begin_time;
};

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // ---- device list, elementary operations (rows and columns 0-based; bad rows do nothing) ----
    virtual int row_count() = 0;
    virtual int column_count() = 0;
    virtual int append_row(const std::string& col0) = 0;
    virtual void set_cell(int row, int col, const std::string& text) = 0;
    virtual std::string get_cell(int row, int col) = 0;
    virtual void set_check(int row, bool ticked) = 0;
    virtual bool get_check(int row) = 0;
    virtual void set_tag(int row, int tag) = 0;
    virtual int get_tag(int row) = 0;
    virtual void clear_rows() = 0;

    // ---- compound list operations ----
    virtual int count_checked() = 0;
    // Intake: unless a row already has this IP or this MAC, append the device as a ticked row
    // numbered by the row count before it, tag -1, offer its type in the type filter once, and save
    // its record in found_records. Returns the new row, or -1 when the device was already listed.
    virtual int insert_found_device(const FoundDevice& dev) = 0;
    // Range mode: append a row for an answering address and save it in range_records.
    virtual int add_range_row(const std::string& ip, const std::string& status) = 0;
    // Range refresh by a discovery answer: rows and range_records entries with this IP.
    virtual void update_row_by_ip(const std::string& ip, const std::string& devid,
                                  const std::string& mac, const std::string& type_name,
                                  const std::string& version, const std::string& status) = 0;
    virtual void save_record(RecordTable table, int row) = 0;
    // Text 10 of record `row` ("TRUE"/"FLASE"), only if that record exists.
    virtual void set_record_tick(RecordTable table, int row, bool ticked) = 0;
    virtual void clear_records(RecordTable table) = 0;
    virtual std::string lookup_devid(const std::string& ip) = 0;
    virtual std::string lookup_mac(const std::string& ip) = 0;
    virtual std::string lookup_type(const std::string& ip) = 0;
    virtual std::string lookup_version(const std::string& ip) = 0;
    virtual std::string lookup_range_mac(const std::string& ip) = 0;

    // ---- widgets ----
    virtual int selected_worker() = 0;
    virtual void set_status_line(const std::string& text) = 0;
    virtual void set_image_bar(int pos) = 0;
    virtual void set_device_bar(int pos) = 0;
    virtual void set_batch_bar(int pos) = 0;
    virtual int get_batch_bar() = 0;
    virtual void set_counter(const std::string& text) = 0;
    virtual std::string type_filter_text() = 0;
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
