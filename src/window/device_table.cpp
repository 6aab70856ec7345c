// SPDX-License-Identifier: Apache-2.0
#include "window/device_table.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace quillon {

namespace {
bool valid_col(int col) { return col >= 0 && col < kColumnCount; }
}  // namespace

int DeviceTable::append_row(const std::string& col0) {
    DeviceRow r;
    r.cells[col_id] = col0;
    return append_row(std::move(r));
}

int DeviceTable::append_row(DeviceRow row) {
    int index = row_count();
    notify([&](DeviceTableObserver& o) { o.rows_about_to_be_inserted(index, index); });
    rows_.push_back(std::move(row));
    notify([&](DeviceTableObserver& o) { o.rows_inserted(index, index); });
    return index;
}

int DeviceTable::append_rows(std::vector<DeviceRow> rows) {
    const int first = row_count();
    if (rows.empty()) return first;
    const int last = first + static_cast<int>(rows.size()) - 1;
    notify([&](DeviceTableObserver& o) { o.rows_about_to_be_inserted(first, last); });
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    notify([&](DeviceTableObserver& o) { o.rows_inserted(first, last); });
    return first;
}

void DeviceTable::set_cell(int row, int col, const std::string& text) {
    if (!valid_row(row) || !valid_col(col)) return;
    std::string& cell = rows_[row].cells[col];
    if (cell == text) return;  // nothing to repaint
    cell = text;
    notify([&](DeviceTableObserver& o) { o.cell_changed(row, col); });
}

std::string DeviceTable::get_cell(int row, int col) const {
    if (!valid_row(row) || !valid_col(col)) return {};
    return rows_[row].cells[col];
}

void DeviceTable::set_check(int row, bool ticked) {
    if (!valid_row(row) || rows_[row].ticked == ticked) return;
    rows_[row].ticked = ticked;
    notify([&](DeviceTableObserver& o) { o.check_changed(row); });
}

bool DeviceTable::get_check(int row) const { return valid_row(row) && rows_[row].ticked; }

void DeviceTable::set_tag(int row, int tag) {
    if (valid_row(row)) rows_[row].tag = tag;
}

int DeviceTable::get_tag(int row) const { return valid_row(row) ? rows_[row].tag : kNoWorker; }

void DeviceTable::clear_rows() { assign_rows({}); }

const DeviceRow* DeviceTable::row(int index) const {
    return valid_row(index) ? &rows_[index] : nullptr;
}

void DeviceTable::assign_rows(std::vector<DeviceRow> rows) {
    notify([](DeviceTableObserver& o) { o.rows_about_to_be_reset(); });
    rows_ = std::move(rows);
    notify([](DeviceTableObserver& o) { o.rows_reset(); });
}

bool DeviceTable::reorder(const std::vector<int>& new_to_old) {
    const int n = row_count();
    if (static_cast<int>(new_to_old.size()) != n) return false;
    std::vector<bool> seen(n, false);
    for (int old : new_to_old) {
        if (old < 0 || old >= n || seen[old]) return false;
        seen[old] = true;
    }
    notify([](DeviceTableObserver& o) { o.rows_about_to_be_reordered(); });
    std::vector<DeviceRow> reordered;
    reordered.reserve(n);
    for (int old : new_to_old) reordered.push_back(std::move(rows_[old]));
    rows_ = std::move(reordered);
    notify([&](DeviceTableObserver& o) { o.rows_reordered(new_to_old); });
    return true;
}

void DeviceTable::stable_sort_rows(
    const std::function<bool(const DeviceRow&, const DeviceRow&)>& less) {
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return less(rows_[a], rows_[b]); });
    reorder(order);
}

void DeviceTable::add_observer(DeviceTableObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void DeviceTable::remove_observer(DeviceTableObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

}  // namespace quillon
