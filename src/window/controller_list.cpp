// SPDX-License-Identifier: Apache-2.0
// What the user does with the device list: sort, filter by type, open, ping, copy; and the
// hidden conflict test.
#include <cstdio>

#include "platform/ipv4.h"
#include "platform/timing.h"
#include "texts/ui_texts.h"
#include "window/control_ids.h"
#include "window/discovery_link.h"
#include "window/engine_link.h"
#include "window/row_compare.h"
#include "window/table_port.h"
#include "window/window_controller.h"
#include "window/window_view.h"

namespace quillon {

namespace {

// The row IP comes from the network: only a plain dotted IPv4 address is opened or pinged.
bool is_dotted_ipv4(const std::string& text) {
    return !text.empty() && text.size() <= 15 && parse_ipv4(text).has_value();
}

}  // namespace

void WindowController::on_column_click(int column) {
    flags_.close_intake();
    // Also refused while Stopping: the workers finishing their devices still address rows by
    // position and tag.
    if (batch_in_progress()) return;
    if (column < 0 || column >= kColumnCount) return;
    if (column == sort_column_) {
        sort_ascending_ = !sort_ascending_;
    } else {
        sort_column_ = column;
        sort_ascending_ = true;
    }
    DeviceTable& t = port_.device_table();
    for (int r = 0; r < t.row_count(); ++r) t.set_tag(r, r);
    const int col = sort_column_;
    const bool asc = sort_ascending_;
    t.stable_sort_rows([col, asc](const DeviceRow& a, const DeviceRow& b) {
        return compare_cells(a.cells[col], b.cells[col], col, asc) < 0;
    });
}

void WindowController::on_type_filter() {
    flags_.close_intake();
    if (batch_in_progress()) return;
    const std::string t = view_.current_index(IDC_TYPE_FILTER) < 0
                              ? std::string()
                              : view_.current_text(IDC_TYPE_FILTER);
    const RecordTable table = view_.is_checked(IDC_RANGE_BOX) ? RecordTable::range
                                                              : RecordTable::found;
    save_checks(table);
    rebuild_filtered(table, t);
}

void WindowController::save_checks(RecordTable table) {
    port_.record_tables().save_checks(table, port_.device_table());
}

void WindowController::rebuild_filtered(RecordTable table, const std::string& type_text) {
    DeviceTable& t = port_.device_table();
    t.clear_rows();
    if (type_text.empty()) return;
    const bool all = type_text == T(TextId::type_all);
    std::vector<DeviceRow> rows;
    for (const DeviceRecord& rec : port_.record_tables().copy(table)) {
        const bool typed = rec.size() > static_cast<std::size_t>(col_type);
        if (all || (typed && rec[col_type] == type_text)) {
            rows.push_back(row_of_record(rec));
        }
    }
    t.assign_rows(std::move(rows));
}

void WindowController::on_row_double_click(int row) {
    if (row < 0) return;
    const std::string ip = port_.device_table().get_cell(row, col_ip);
    if (!is_dotted_ipv4(ip)) return;
    view_.open_url("http://" + ip);
}

void WindowController::on_row_right_double_click(int row) {
    if (row < 0) return;
    const std::string ip = port_.device_table().get_cell(row, col_ip);
    if (!is_dotted_ipv4(ip)) return;
    view_.start_ping(ip);
}

void WindowController::on_row_right_click(int row) {
    if (row < 0) return;
    const DeviceTable& t = port_.device_table();
    if (row >= t.row_count()) return;
    std::string text = "IP:" + t.get_cell(row, col_ip) + " MAC:" + t.get_cell(row, col_mac);
    const std::string ver = t.get_cell(row, col_version);
    if (!ver.empty()) text += " VER:" + ver;
    view_.copy_to_clipboard(text);
}

void WindowController::on_conflict_test() {
    if (engine_) engine_->arm_conflict_probe(kConflictTestIp, kConflictTestMac);
    flags_.close_intake();
    flags_.conflict_watch = 1;
    if (discovery_) discovery_->search(0, kConflictTestIp);
    // The one-second wait runs on the window's timer rather than a thread of its own: nothing
    // blocks, and nothing outlives the window.
    view_.run_later(timing().conflict_wait_step, [this] {
        ++conflict_checks_;
        std::string ip, mac;
        if (engine_ && engine_->take_conflict(ip, mac)) {
            char text[160];
            std::snprintf(text, sizeof text, "Conflict ip: %s, mac: %s", ip.c_str(), mac.c_str());
            view_.show_message(text);
        }
    });
}

}  // namespace quillon
