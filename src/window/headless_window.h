// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window of the headless runner: the table port on a serial executor, with the widgets the
// engine asks about held as plain values.
//
// The executor is this window's "window thread": every port request runs whole on it while the
// caller waits, exactly as on the desktop window's GUI thread, so the engine meets the same
// concurrency in both front ends. The runner's own commands (START, STOP, the type filter)
// go through the same thread with run() or the setters below.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_executor.h"
#include "window/table_port.h"

namespace quillon {

class LogFile;

// What the headless window shows.
struct HeadlessWidgets {
    std::string status_line;
    int image_bar = 0;
    int device_bar = 0;
    int batch_bar = 0;
    std::string counter = "( 0/0 )";
    std::vector<std::string> type_filter_entries;
    int type_filter_choice = 0;  // index into type_filter_entries; -1 = nothing chosen
    bool range_box = false;
    bool stop_enabled = true;  // the CLEAN/STOP button
    int selected_worker = 0;
    bool idle = true;                   // false from leave_idle() (START) until enter_idle()
    std::vector<std::string> messages;  // every message box, in order
};

enum class WidgetChange {
    status_line,
    image_bar,
    device_bar,
    batch_bar,
    counter,
    type_filter,
    range_box,
    stop_enabled,
    selected_worker,
    idle,
    message,
};

// For a live display (the runner's progress lines). Called on the window thread after each
// change, with the state as it now stands; it must not wait for another thread's port request.
class WidgetObserver {
public:
    virtual ~WidgetObserver() = default;
    virtual void widget_changed(WidgetChange what, const HeadlessWidgets& now) = 0;
};

class HeadlessWindow : public TablePort {
public:
    // type_filter_entries: the start-up entries of the type filter ("ALL" first, then the type
    // names start-up offers), in the current language; entry 0 is chosen.
    HeadlessWindow(LogFile& user_report, std::vector<std::string> type_filter_entries);
    // Lets every queued request finish, then stops the window thread. Requests made after that
    // answer as for an empty list.
    ~HeadlessWindow() override;

    // ---- widget requests of WindowPort ----
    void show_worker(int w, const WorkerView& view) override;
    void show_followed_status(const std::vector<WorkerStatus>& status_of_worker) override;
    void set_status_line(const std::string& text) override;
    void set_batch_bar(int pos) override;
    int get_batch_bar() override;
    void set_counter(const std::string& text) override;
    std::string type_filter_text() override;
    bool range_box_checked() override;
    bool is_stop_enabled() override;
    // Records the message and hands it to the message handler, if any (on the window thread;
    // the caller waits until the handler returns, as for a dismissed box).
    void message_box(const std::string& text) override;
    // Idle again: stop_enabled, idle; wakes wait_idle and calls the idle handler.
    void enter_idle() override;

    WindowFlags& flags() override { return flags_; }
    LogFile& user_report() override { return user_report_; }
    // Calls the report handler, if any, on the calling thread.
    void show_user_report() override;

    // ---- the runner's side ----
    // Runs fn on the window thread and waits (at once when already there). false when the
    // window thread has stopped and fn did not run.
    bool run(const std::function<void()>& fn);
    bool post(std::function<void()> fn);

    void set_range_box(bool ticked);
    void set_stop_enabled(bool enabled);
    void set_selected_worker(int worker);
    // Replaces the entries (a search resets them to "ALL" alone) and chooses one.
    void set_type_filter(std::vector<std::string> entries, int choice = 0);
    void choose_type_filter(int choice);
    // START: the window is no longer idle until the driver calls enter_idle.
    void leave_idle();
    // Waits until the window is idle; false when timeout passed first.
    bool wait_idle(std::chrono::milliseconds timeout);

    HeadlessWidgets widgets();
    std::vector<std::string> messages();

    // Handlers and observers; set them before the engine starts, or at any time from any thread
    // (they are installed on the window thread).
    void set_message_handler(std::function<void(const std::string&)> handler);
    void set_idle_handler(std::function<void()> handler);
    void set_report_handler(std::function<void()> handler);
    // Not owned; remove before destroying. Called on the window thread.
    void add_widget_observer(WidgetObserver* observer);
    void remove_widget_observer(WidgetObserver* observer);
    void add_table_observer(DeviceTableObserver* observer);
    void remove_table_observer(DeviceTableObserver* observer);

protected:
    void run_on_window_thread(const std::function<void()>& fn) override;
    void add_type_filter_entry_once(const std::string& name) override;

private:
    void changed(WidgetChange what);
    template <class T>
    void set_widget(T HeadlessWidgets::*member, T value, WidgetChange what);

    // Window thread only.
    HeadlessWidgets w_;
    std::vector<WidgetObserver*> observers_;
    std::function<void(const std::string&)> message_handler_;
    std::function<void()> idle_handler_;

    WindowFlags flags_;
    LogFile& user_report_;

    std::mutex report_lock_;  // guards report_handler_ (show_user_report runs on the driver)
    std::function<void()> report_handler_;

    std::mutex idle_lock_;  // guards idle_ (a copy of w_.idle for threads that wait)
    std::condition_variable idle_cv_;
    bool idle_ = true;

    // Last member: stops first, before anything its tasks use is destroyed.
    SerialExecutor executor_;
};

}  // namespace quillon
