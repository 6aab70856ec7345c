// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window port of the desktop program: the list requests of TablePort plus the widget
// requests, each carried to the GUI thread with a blocking queued call (run at once when the
// caller is the GUI thread). range_box_checked is the exception: it reads the copy of the box
// that the window keeps, as the intake asks it for every answer while the intake is closed.
//
// Shutdown: close() makes every later request from another thread return at once without
// running (answering as for an empty list), then serves the requests already on their way, so
// that the GUI thread may afterwards join threads that call the port without deadlocking.
#include <QObject>

#include <condition_variable>
#include <mutex>

#include "window/table_port.h"

namespace quillon {

class CQuillonDlg;

class GuiWindowPort final : public TablePort {
public:
    explicit GuiWindowPort(CQuillonDlg& dlg);

    // GUI thread only. Idempotent.
    void close();
    bool closed() const;
    // GUI thread only: runs the requests posted so far, as the event loop would. For a GUI
    // thread that must wait for a thread which may be inside a request.
    void serve_posted();

    // ---- widgets ----
    void show_worker(int w, const WorkerView& view) override;
    void show_followed_status(const std::vector<WorkerStatus>& status_of_worker) override;
    void set_status_line(const std::string& text) override;
    void set_batch_bar(int pos) override;
    int get_batch_bar() override;
    void set_counter(const std::string& text) override;
    std::string type_filter_text() override;
    bool range_box_checked() override;
    bool is_stop_enabled() override;
    void message_box(const std::string& text) override;
    void enter_idle() override;

    WindowFlags& flags() override;
    LogFile& user_report() override;
    void show_user_report() override;

    // Public for the window's own use on the GUI thread.
    void add_type_filter_entry_once(const std::string& name) override;

protected:
    void run_on_window_thread(const std::function<void()>& fn) override;

private:
    CQuillonDlg& dlg_;
    mutable std::mutex lock_;  // guards closed_ and in_flight_; a leaf, never held while waiting
    std::condition_variable drained_;
    bool closed_ = false;
    int in_flight_ = 0;
};

}  // namespace quillon
