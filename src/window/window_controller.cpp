// SPDX-License-Identifier: Apache-2.0
// The main window's commands and its states: Idle, search window, Running, Stopping.
#include "window/window_controller.h"

#include <cstdio>

#include "images/folder_ops.h"
#include "log/debug_line.h"
#include "log/log_file.h"
#include "platform/timing.h"
#include "texts/ui_texts.h"
#include "window/control_ids.h"
#include "window/discovery_link.h"
#include "window/engine_link.h"
#include "window/row_compare.h"
#include "window/table_port.h"
#include "window/window_view.h"

namespace quillon {

namespace {

// The controls that a batch locks and enter_idle frees again.
constexpr int kIdleOnlyControls[] = {IDC_SELECT_ALL, IDC_THREADS, IDC_AUTO_RETRY, IDC_ADAPTER};

std::string numbered(const char* pattern, int n) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, n);
    return text;
}

}  // namespace

WindowController::WindowController(WindowView& view, TablePort& port, WindowFlags& flags,
                                   LogFile& device_log)
    : view_(view),
      port_(port),
      flags_(flags),
      deviceLog(device_log),
      search_windows_(flags, [&view](std::function<void()> fn) { view.post(std::move(fn)); }) {}

bool WindowController::is_running_state() const { return engine_ && engine_->running(); }

bool WindowController::is_stop_enabled() const { return view_.is_enabled(IDC_CLEAN); }

bool WindowController::batch_in_progress() const {
    return is_running_state() || !view_.is_enabled(IDC_CLEAN);
}

std::string WindowController::read_path(int id) const { return view_.text(id); }

// ---------------- start-up ----------------

void WindowController::init_controls() {
    // Image slots: package mode.
    for (int i = 0; i < 4; ++i) {
        view_.set_checked(kSlotCheck[i], false);
        view_.set_enabled(kSlotPath[i], false);
        view_.set_enabled(kSlotBrowse[i], false);
    }
    view_.set_checked(IDC_ZIP_CHECK, true);
    view_.set_enabled(IDC_ZIP_PATH, true);
    view_.set_enabled(IDC_ZIP_BROWSE, true);
    view_.show_hint(IDC_ZIP_PATH, T(TextId::zip_hint));  // the hint is not a package path change

    // Address range.
    view_.set_checked(IDC_RANGE_BOX, false);
    view_.set_checked(IDC_AUTO_RETRY, false);
    view_.set_enabled(IDC_RANGE_START, false);
    view_.set_enabled(IDC_RANGE_END, false);
    view_.set_checked(IDC_SELECT_ALL, true);

    sort_column_ = 0;
    sort_ascending_ = true;
    flags_.conflict_watch = 0;
    m_zip_dropped = 0;

    view_.set_text(IDC_RANGE_START, kDefaultRangeStart);
    view_.set_text(IDC_RANGE_END, "254");

    std::vector<std::string> threads;
    for (int n = 1; n <= 10; ++n) {
        threads.push_back(T(TextId::threads_prefix) + numbered(":[%d]", n));
    }
    view_.set_entries(IDC_THREADS, threads, 1);
    refill_worker_view("[%d]", view_.current_index(IDC_THREADS) + 1);

    view_.set_entries(IDC_TYPE_FILTER,
                      {T(TextId::type_all), T(TextId::type_panel), T(TextId::type_monitor),
                       T(TextId::type_person)},
                      0);

    for (int bar : {IDC_IMG_BAR, IDC_DEV_BAR, IDC_ALL_BAR}) view_.set_value(bar, 0);
    view_.clear_text(IDC_STATUS_LINE);
    view_.set_text(IDC_COUNTER, "( 0/0 )");
}

void WindowController::refill_worker_view(const char* pattern, int n) {
    std::vector<std::string> entries;
    for (int i = 0; i < n; ++i) entries.push_back(numbered(pattern, i));
    view_.set_entries(IDC_WORKER_VIEW, entries, 0);
}

void WindowController::set_adapters(const std::vector<std::string>& names,
                                    const std::vector<std::string>& ips) {
    std::vector<std::string> entries;
    adapter_ips_.clear();
    for (std::size_t i = 0; i < names.size() && i < ips.size(); ++i) {
        entries.push_back(names[i]);
        adapter_ips_.push_back(ips[i]);
    }
    view_.set_entries(IDC_ADAPTER, entries, entries.empty() ? -1 : 0);
    if (entries.empty()) return;  // keeps the fixed default range start
    set_bind_addr(adapter_ips_[0]);
    std::string first = adapter_ips_[0].substr(0, 15);
    const auto dot = first.rfind('.');
    if (dot != std::string::npos) first = first.substr(0, dot + 1) + "250";
    view_.set_text(IDC_RANGE_START, first);
}

void WindowController::set_bind_addr(const std::string& dotted) {
    bind_addr_ = parse_ipv4(dotted).value_or(kIpv4Any);
    if (!parse_ipv4(dotted)) view_.show_message("无效的IP地址");
}

// ---------------- START ----------------

void WindowController::on_start() {
    std::array<std::string, 4> url;
    std::array<uint8_t, 4> start{};
    int end = 0;
    for (;;) {
        for (int i = 0; i < 4; ++i) url[i] = read_path(kSlotPath[i]);
        start = view_.ipv4_octets(IDC_RANGE_START);
        end = static_cast<int>(id_key(view_.text(IDC_RANGE_END)));
        if (!url[0].empty() || !url[1].empty() || !url[2].empty() || !url[3].empty()) break;
        // No image chosen: ask for a package first, as its browse button does.
        import_package();
        if (view_.text(IDC_ZIP_PATH).empty()) return;
    }

    const int ticked = port_.count_checked();
    const bool range_mode = view_.is_checked(IDC_RANGE_BOX);
    if (range_mode) {
        if (ticked == 0) {
            port_.clear_rows();
            port_.clear_records(RecordTable::range);
        }
        const int s = start[3];
        if (s == 0 || s > end || end > 254) {
            view_.show_message(T(TextId::msg_bad_range));
            deviceLog.WriteInfo("ip is err !\n");
            return;
        }
    } else {
        if (port_.row_count() == 0) {
            view_.show_message(T(TextId::msg_list_empty));
            return;
        }
        if (ticked == 0) {
            view_.show_message(T(TextId::msg_none_ticked));
            return;
        }
    }

    flags_.close_intake();
    flags_.conflict_watch = 1;
    const int n = view_.current_index(IDC_THREADS) + 1;

    if (is_running_state()) {
        view_.show_message(T(TextId::msg_busy));
        deviceLog.WriteInfo("app_upgrade is running !\n");
        return;
    }

    BatchSettings batch;
    for (int i = 0; i < 4; ++i) batch.url[i] = url[i];
    const auto o = view_.ipv4_octets(IDC_RANGE_START);
    batch.ip_begin = (uint32_t{o[0]} << 24) | (uint32_t{o[1]} << 16) | (uint32_t{o[2]} << 8) | o[3];
    batch.ip_end = end;
    batch.ip_scan = range_mode ? 1 : 0;
    batch.thread_num = n;
    for (int i = 0; i < 4; ++i) batch.reboot_after[i] = m_reboot_after[i];
    if (engine_) engine_->start_batch(batch);
    debug_line("upgrade thread %d\n", n);
    flush_debug_lines();

    set_running_controls();
    deviceLog.WriteInfo("app_upgrade is ok !\n");
}

void WindowController::set_running_controls() {
    view_.set_enabled(IDC_START, false);
    view_.set_enabled(IDC_SEARCH, false);
    view_.set_enabled(IDC_TYPE_FILTER, false);
    view_.set_enabled(IDC_RANGE_BOX, false);
    view_.set_text(IDC_CLEAN, T(TextId::stop_button));
    for (int id : kIdleOnlyControls) view_.set_enabled(id, false);
}

void WindowController::enter_idle() {
    view_.set_enabled(IDC_START, true);
    view_.set_enabled(IDC_SEARCH, true);
    view_.set_enabled(IDC_TYPE_FILTER, true);
    view_.set_enabled(IDC_RANGE_BOX, true);
    view_.set_text(IDC_CLEAN, T(TextId::clean_button));
    view_.set_enabled(IDC_CLEAN, true);
    for (int id : kIdleOnlyControls) view_.set_enabled(id, true);
}

// ---------------- CLEAN / STOP, EXIT ----------------

void WindowController::on_clean() {
    if (is_running_state()) {
        // The batch may end while the question is open (the workers' requests are served
        // meanwhile): a late Yes then finds an idle window and must leave it idle.
        if (view_.ask(T(TextId::ask_stop_after)) && is_running_state()) {
            engine_->request_stop();
            view_.set_enabled(IDC_CLEAN, false);  // Stopping
        }
        return;
    }
    flags_.close_intake();
    port_.clear_rows();
    port_.clear_records(RecordTable::range);
    port_.clear_records(RecordTable::found);
}

bool WindowController::confirm_exit() {
    if (exiting_) return true;
    const bool batch = batch_in_progress();
    if (batch) {
        if (!view_.ask(T(TextId::ask_force_stop))) return false;
        if (engine_) engine_->request_stop();
    }
    if (!m_unzip_dir.empty()) delete_tree(m_unzip_dir);
    exiting_ = true;
    stop_search_windows();
    view_.program_ending(batch);  // may end the process here
    return true;
}

// ---------------- SEARCH and the search window ----------------

void WindowController::reset_type_filter() {
    view_.set_entries(IDC_TYPE_FILTER, {T(TextId::type_all)}, 0);
}

void WindowController::on_search() {
    flags_.close_intake();
    port_.clear_rows();
    port_.clear_records(RecordTable::found);
    reset_type_filter();
    flags_.intake_closed = 0;
    if (discovery_) discovery_->search(1);
    view_.set_checked(IDC_SELECT_ALL, true);
    view_.set_checked(IDC_RANGE_BOX, false);
    view_.set_enabled(IDC_RANGE_START, false);
    view_.set_enabled(IDC_RANGE_END, false);
    start_search_window();
}

void WindowController::start_search_window() {
    search_windows_.open(
        timing().search_window, [this] { view_.set_enabled(IDC_SEARCH, false); },
        [this] { search_window_over(); });
}

void WindowController::search_window_over() {
    if (!batch_in_progress()) view_.set_enabled(IDC_SEARCH, true);
    view_.search_window_ended();
}

// ---------------- range box, retry, threads, worker view, select-all, adapter ----------------

void WindowController::on_range_box() {
    if (is_running_state()) return;
    if (view_.is_checked(IDC_RANGE_BOX)) {
        flags_.close_intake();
        view_.set_enabled(IDC_RANGE_START, true);
        view_.set_enabled(IDC_RANGE_END, true);
        port_.clear_rows();
    } else {
        flags_.intake_closed = 0;
        view_.set_enabled(IDC_RANGE_START, false);
        view_.set_enabled(IDC_RANGE_END, false);
        port_.clear_rows();
        if (discovery_) discovery_->search(1);
        start_search_window();
    }
    view_.choose_quietly(IDC_TYPE_FILTER, 0);
    view_.clear_text(IDC_STATUS_LINE);
    view_.clear_text(IDC_COUNTER);
}

void WindowController::on_auto_retry() {
    if (engine_) engine_->set_auto_retry(view_.is_checked(IDC_AUTO_RETRY) ? 1 : 0);
}

void WindowController::on_threads() {
    refill_worker_view("[%d]:", view_.current_index(IDC_THREADS) + 1);
}

void WindowController::on_worker_view() {
    if (!engine_) return;
    const int w = view_.current_index(IDC_WORKER_VIEW);
    if (w < 0) return;
    view_.set_text(IDC_STATUS_LINE, engine_->worker_status(w));
    view_.set_value(IDC_IMG_BAR, engine_->img_percent(w));
    view_.set_value(IDC_DEV_BAR, engine_->dev_percent(w));
}

void WindowController::on_select_all() {
    flags_.close_intake();
    if (is_running_state()) return;
    DeviceTable& t = port_.device_table();
    const bool tick = view_.is_checked(IDC_SELECT_ALL);
    for (int r = 0; r < t.row_count(); ++r) t.set_check(r, tick);
}

void WindowController::on_adapter() {
    const int i = view_.current_index(IDC_ADAPTER);
    if (i < 0 || i >= static_cast<int>(adapter_ips_.size())) return;
    const std::string a = adapter_ips_[i];
    set_bind_addr(a);
    const auto dot = a.rfind('.');
    view_.set_text(IDC_RANGE_START, dot == std::string::npos ? a : a.substr(0, dot + 1) + "250");
    if (discovery_) discovery_->restart(bind_addr_);
    port_.clear_rows();
    port_.clear_records(RecordTable::found);
    reset_type_filter();
    flags_.intake_closed = 0;
    if (discovery_) discovery_->search(0);
    start_search_window();
}

}  // namespace quillon
