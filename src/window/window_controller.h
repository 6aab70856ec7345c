// SPDX-License-Identifier: Apache-2.0
#pragma once
// The main window's command logic without a toolkit: the window states (Idle, search window,
// Running, Stopping) and the controls each enables, START's checks, CLEAN/STOP and EXIT, the
// image and package slots, sorting, the type filter and the row actions. It acts on the widgets
// through WindowView, on the list through the table port, and on the engine and discovery
// through their links. Window thread only, unless a member says otherwise.
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "contract/window_port.h"
#include "platform/ipv4.h"
#include "window/record_tables.h"
#include "window/search_windows.h"

namespace quillon {

class DiscoveryLink;
class EngineLink;
class LogFile;
class TablePort;
class WindowView;

class WindowController {
public:
    WindowController(WindowView& view, TablePort& port, WindowFlags& flags, LogFile& device_log);

    void set_engine(EngineLink* engine) { engine_ = engine; }
    void set_discovery(DiscoveryLink* discovery) { discovery_ = discovery; }

    // The range start shown before any adapter is known. A deployment default of the usual
    // installer networks; nothing is ever sent to it unless the user starts a range batch on it.
    static constexpr const char* kDefaultRangeStart = "192.168.1.250";
    // Hidden conflict test: an address and MAC of the benchmarking range, never a real device.
    static constexpr const char* kConflictTestIp = "198.18.0.250";
    static constexpr const char* kConflictTestMac = "02:00:c6:12:00:fa";

    // ---- start-up ----
    // Control states of start-up: image slots in package mode, range off, select-all on,
    // two workers, the type filter's four entries, bars at 0, the fixed default range start.
    void init_controls();
    // Adapter names and their addresses; the first is chosen, bound, and gives the range start.
    void set_adapters(const std::vector<std::string>& names, const std::vector<std::string>& ips);
    // bind_addr from a dotted text; "无效的IP地址" when it does not parse (address left 0).
    void set_bind_addr(const std::string& dotted);
    Ipv4 bind_addr() const { return bind_addr_; }
    const std::vector<std::string>& adapter_ips() const { return adapter_ips_; }

    // ---- commands ----
    void on_start();
    void on_clean();
    // EXIT's question and clean-up; true when the window is to close.
    bool confirm_exit();
    void on_search();
    void on_range_box();
    void on_auto_retry();
    void on_threads();
    void on_worker_view();
    void on_select_all();
    void on_adapter();
    void enter_idle();
    void set_running_controls();
    // Opens the intake for the search window; SEARCH is usable again when it ends.
    void start_search_window();
    void stop_search_windows() { search_windows_.stop(); }

    // ---- state ----
    bool is_running_state() const;
    bool is_stop_enabled() const;
    // Running, or Stopping (STOP confirmed, the workers still finishing their devices): the
    // workers still write to rows by position.
    bool batch_in_progress() const;

    // ---- list interactions ----
    void on_column_click(int column);
    void on_type_filter();
    void on_row_double_click(int row);
    void on_row_right_double_click(int row);
    void on_row_right_click(int row);
    void on_conflict_test();
    // How many conflict-test checks have run (each one second after its command).
    int conflict_checks() const { return conflict_checks_; }
    int sort_column() const { return sort_column_; }
    bool sort_ascending() const { return sort_ascending_; }

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

private:
    void refill_worker_view(const char* pattern, int n);
    void reset_type_filter();
    void save_checks(RecordTable table);
    void rebuild_filtered(RecordTable table, const std::string& type_text);
    void search_window_over();
    std::string read_path(int id) const;

    WindowView& view_;
    TablePort& port_;
    WindowFlags& flags_;
    LogFile& deviceLog;
    EngineLink* engine_ = nullptr;
    DiscoveryLink* discovery_ = nullptr;
    SearchWindows search_windows_;

    int sort_column_ = 0;
    bool sort_ascending_ = true;
    std::vector<std::string> adapter_ips_;
    Ipv4 bind_addr_{};
    int m_zip_dropped = 0;
    std::string m_unzip_dir;
    std::array<int, 4> m_reboot_after{};
    bool exiting_ = false;
    int conflict_checks_ = 0;
};

}  // namespace quillon
