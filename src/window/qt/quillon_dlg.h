// SPDX-License-Identifier: Apache-2.0
#pragma once
// The main window: every control of the program, bound to the window controller, which holds
// the commands and the window's state (Idle, search window, Running, Stopping). Runs on the GUI
// thread; other threads reach it only through the window port, which carries each request over
// with a blocking queued call.
#include <QDialog>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ipv4.h"
#include "contract/window_port.h"
#include "log/log_file.h"
#include "window/control_ids.h"
#include "window/qt/device_list_model.h"
#include "window/window_controller.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace quillon {

class DiscoveryLink;
class DlgView;
class EngineLink;
class Ipv4Edit;
class GuiWindowPort;

class CQuillonDlg : public QDialog {
    Q_OBJECT
public:
    explicit CQuillonDlg(QWidget* parent = nullptr);
    ~CQuillonDlg() override;

    // ---- wiring, done by start-up before the window is shown ----
    void set_engine(EngineLink* engine) { ctl_->set_engine(engine); }
    void set_discovery(DiscoveryLink* discovery) { ctl_->set_discovery(discovery); }
    WindowPort& port();
    WindowFlags& flags() { return flags_; }
    LogFile& user_report() { return userReport; }
    LogFile& device_log() { return deviceLog; }

    // ---- start-up steps ----
    // Texts of the current language on every control (title, labels, buttons, columns, boxes).
    void apply_texts();
    // Control states of start-up: image slots in package mode, range off, select-all on,
    // two workers, the type filter's four entries, bars at 0, the fixed default range start.
    void init_controls();
    // Adapter names and their addresses; the first is chosen, bound, and gives the range start.
    void set_adapters(const std::vector<std::string>& names, const std::vector<std::string>& ips);
    // bind_addr from a dotted text; "无效的IP地址" when it does not parse (address left 0).
    void set_bind_addr(const std::string& dotted);
    Ipv4 bind_addr() const { return ctl_->bind_addr(); }
    const std::vector<std::string>& adapter_ips() const { return ctl_->adapter_ips(); }

    static constexpr const char* kDefaultRangeStart = WindowController::kDefaultRangeStart;
    static constexpr const char* kConflictTestIp = WindowController::kConflictTestIp;
    static constexpr const char* kConflictTestMac = WindowController::kConflictTestMac;

    // ---- commands (window thread) ----
    void on_start();
    void on_clean();
    void on_exit();
    void on_search();
    void on_range_box();
    void on_auto_retry();
    void on_threads();
    void on_worker_view();
    void on_select_all();
    void on_adapter();
    void enter_idle();
    // Opens the intake for the search window on a thread of its own.
    void start_search_window();

    // ---- list interactions ----
    void on_column_click(int column);
    void on_type_filter();
    void on_row_double_click(int row);
    void on_row_right_double_click(int row);
    void on_row_right_click(int row);
    void on_conflict_test();
    // How many conflict-test checks have run (each one second after its command).
    int conflict_checks() const { return ctl_->conflict_checks(); }

    // ---- image slots and package ----
    void on_slot_check(int slot);
    void on_zip_check();
    void on_zip_path_changed();
    void on_slot_browse(int slot);
    void import_package();
    void mark_reboot_slots();
    // Paths dropped on the window, in drop order.
    void on_drop_files(const std::vector<std::string>& paths);
    const std::string& unzip_dir() const { return ctl_->unzip_dir(); }
    const std::array<int, 4>& reboot_after() const { return ctl_->reboot_after(); }

    // ---- state the port reads ----
    // The range box as last seen by the window thread; any thread.
    bool range_box_ticked() const { return range_box_ticked_.load(); }
    bool is_stop_enabled() const;
    bool is_running_state() const;
    // Running, or Stopping (STOP confirmed, the workers still finishing their devices): the
    // workers still write to rows by position. GUI thread.
    bool batch_in_progress() const;
    int sort_column() const { return ctl_->sort_column(); }
    bool sort_ascending() const { return ctl_->sort_ascending(); }

    // Widget lookup by control number.
    QWidget* control(int id) const;

    // The window thread's part of ending the program: delete the unpacked package, stop the
    // search windows. Set by start-up; called when EXIT has been accepted.
    std::function<void(bool batch_running)> on_program_end;
    // Run once, on the window thread, when a search window has run its course (start-up sets
    // it for the start-up search); cleared before it runs.
    std::function<void()> on_search_window_end;

    enum class MsgKind { info, question };

protected:
    // Every message box of the window: caption "Upgrade"; a question answers true for Yes.
    // Window tests override it to answer automatically.
    virtual bool msg_box(const std::string& text, MsgKind kind);
    // The open-file dialog with a filter like "ImageFile(*.img)"; empty when cancelled.
    virtual std::string open_file_dialog(const std::string& filter);
    virtual void open_url(const std::string& url);
    virtual void start_ping(const std::string& ip);

    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

public:
    // For the port: a message box from another thread, already marshalled to this thread.
    void show_message(const std::string& text) { msg_box(text, MsgKind::info); }
    // Column widths for the list's current client width (capped after start-up).
    void apply_column_rule();
    void show_about();
    // Opens the user report with the desktop's handler.
    void show_user_report();

    // The control states of the four window states, for the port and the tests.
    void set_running_controls();

private:
    friend class GuiWindowPort;
    friend class DlgView;
    void build_widgets();
    void connect_commands();

    // Widgets.
    QCheckBox* zip_check_ = nullptr;
    QLineEdit* zip_path_ = nullptr;
    QPushButton* zip_browse_ = nullptr;
    QCheckBox* slot_check_[4] = {};
    QLineEdit* slot_path_[4] = {};
    QPushButton* slot_browse_[4] = {};
    QCheckBox* range_box_ = nullptr;
    Ipv4Edit* range_start_ = nullptr;
    QLineEdit* range_end_ = nullptr;
    QComboBox* adapter_ = nullptr;
    QCheckBox* auto_retry_ = nullptr;
    QComboBox* threads_ = nullptr;
    QCheckBox* select_all_ = nullptr;
    QLabel* worker_label_ = nullptr;
    QComboBox* worker_view_ = nullptr;
    QLabel* status_line_ = nullptr;
    QLabel* counter_ = nullptr;
    QComboBox* type_filter_ = nullptr;
    QProgressBar* img_bar_ = nullptr;
    QProgressBar* dev_bar_ = nullptr;
    QProgressBar* all_bar_ = nullptr;
    QTableView* list_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* clean_ = nullptr;
    QPushButton* search_ = nullptr;
    QPushButton* exit_ = nullptr;
    QPushButton* conflict_test_ = nullptr;

    // Window state; declared before the collaborators, which refer to it.
    WindowFlags flags_;
    // The range box's state for other threads (the intake asks it once per answer while the
    // intake is closed): kept by the window thread whenever the box changes, so that reading it
    // costs no request.
    std::atomic<bool> range_box_ticked_{false};
    bool columns_capped_ = false;
    LogFile userReport;
    LogFile deviceLog;

    // Collaborators.
    std::unique_ptr<GuiWindowPort> port_;
    // Declared after the port: it observes the port's table and must go first.
    std::unique_ptr<DeviceListModel> model_;
    // The widgets as the controller sees them, and the controller; both go before the port.
    std::unique_ptr<DlgView> view_;
    std::unique_ptr<WindowController> ctl_;
};

// "ImageFile(*.img)|*.img||" (description|pattern pairs) as a Qt filter list.
std::string qt_file_filter(const std::string& windows_filter);

}  // namespace quillon
