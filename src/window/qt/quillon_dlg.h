#pragma once
// The main window: every control of the program, its commands and its state (Idle, search
// window, Running, Stopping). Runs on the GUI thread; other threads reach it only through the
// window port, which carries each request over with a blocking queued call.
#include <QDialog>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ipv4.h"
#include "engine/window_port.h"
#include "log/log_file.h"
#include "window/qt/control_ids.h"
#include "window/qt/device_list_model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace quillon {

class DiscoveryLink;
class EngineLink;
class Ipv4Edit;
class GuiWindowPort;

class CQuillonDlg : public QDialog {
    Q_OBJECT
public:
    explicit CQuillonDlg(QWidget* parent = nullptr);
    ~CQuillonDlg() override;

    // ---- wiring, done by start-up before the window is shown ----
    void set_engine(EngineLink* engine) { engine_ = engine; }
    void set_discovery(DiscoveryLink* discovery) { discovery_ = discovery; }
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
    Ipv4 bind_addr() const { return bind_addr_; }
    const std::vector<std::string>& adapter_ips() const { return adapter_ips_; }

    // The range start shown before any adapter is known. A deployment default of the usual
    // installer networks; nothing is ever sent to it unless the user starts a range batch on it.
    static constexpr const char* kDefaultRangeStart = "192.168.1.250";
    // Hidden conflict test: an address and MAC of the benchmarking range, never a real device.
    static constexpr const char* kConflictTestIp = "198.18.0.250";
    static constexpr const char* kConflictTestMac = "02:00:c6:12:00:fa";

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
    int conflict_checks() const { return conflict_checks_; }

    // ---- image slots and package ----
    void on_slot_check(int slot);
    void on_zip_check();
    void on_zip_path_changed();
    void on_slot_browse(int slot);
    void import_package();
    void mark_reboot_slots();
    // Paths dropped on the window, in drop order.
    void on_drop_files(const std::vector<std::string>& paths);
    const std::string& unzip_dir() const { return m_unzip_dir; }
    const std::array<int, 4>& reboot_after() const { return m_reboot_after; }

    // ---- state the port reads ----
    // The range box as last seen by the window thread; any thread.
    bool range_box_ticked() const { return range_box_ticked_.load(); }
    bool is_stop_enabled() const;
    bool is_running_state() const;
    // Running, or Stopping (STOP confirmed, the workers still finishing their devices): the
    // workers still write to rows by position. GUI thread.
    bool batch_in_progress() const;
    int sort_column() const { return sort_column_; }
    bool sort_ascending() const { return sort_ascending_; }

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
    void build_widgets();
    void connect_commands();
    // EXIT's question and clean-up; true when the window is to close.
    bool confirm_exit();
    void refill_worker_view(const char* pattern, int n);
    void reset_type_filter();
    void save_checks(RecordTable table);
    void rebuild_filtered(RecordTable table, const std::string& type_text);
    void search_window_body(std::chrono::milliseconds length,
                            std::shared_ptr<std::atomic<bool>> done);
    void stop_search_windows();
    std::string read_path(QLineEdit* edit) const;
    void clear_field(QLineEdit* edit);

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

    // Collaborators.
    EngineLink* engine_ = nullptr;
    DiscoveryLink* discovery_ = nullptr;
    std::unique_ptr<GuiWindowPort> port_;
    // Declared after the port: it observes the port's table and must go first.
    std::unique_ptr<DeviceListModel> model_;

    // Window state.
    WindowFlags flags_;
    // The range box's state for other threads (the intake asks it once per answer while the
    // intake is closed): kept by the window thread whenever the box changes, so that reading it
    // costs no request.
    std::atomic<bool> range_box_ticked_{false};
    int sort_column_ = 0;
    bool sort_ascending_ = true;
    bool columns_capped_ = false;
    std::vector<std::string> adapter_ips_;
    Ipv4 bind_addr_{};
    int m_zip_dropped = 0;
    std::string m_unzip_dir;
    std::array<int, 4> m_reboot_after{};
    bool exiting_ = false;
    int conflict_checks_ = 0;

    LogFile userReport;
    LogFile deviceLog;

    // Search-window threads: each is joined once it has ended or when the window goes away.
    struct SearchWindow {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<SearchWindow> search_windows_;
    std::mutex search_stop_lock_;  // owner: the search-window threads' wait; nothing nests in it
    std::condition_variable search_stop_cv_;
    bool search_stop_ = false;
};

// "ImageFile(*.img)|*.img||" (description|pattern pairs) as a Qt filter list.
std::string qt_file_filter(const std::string& windows_filter);

}  // namespace quillon
