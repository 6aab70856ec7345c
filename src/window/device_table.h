// SPDX-License-Identifier: Apache-2.0
#pragma once
// The device list as a plain table: rows of ten texts, a tick and a worker tag per row.
//
// Not thread-safe: it is touched only on the window's thread (the GUI thread, or the headless
// runner's serial executor). Other threads reach it through the window port, which runs each
// request there. Views follow it through DeviceTableObserver.
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace quillon {

// Column numbers, left to right; the number is the cell index of every cell operation.
enum Column : int {
    col_id = 0,
    col_ip = 1,
    col_devid = 2,
    col_mac = 3,
    col_type = 4,
    col_percent = 5,
    col_stat = 6,
    col_elapsed = 7,
    col_begin = 8,
    col_version = 9,
};
inline constexpr int kColumnCount = 10;

// The worker tag of a row that no worker owns (not ticked in this pass, or added by discovery).
inline constexpr int kNoWorker = -1;

struct DeviceRow {
    std::array<std::string, kColumnCount> cells;
    bool ticked = false;
    int tag = 0;

    bool operator==(const DeviceRow&) const = default;
};

// Change notifications, delivered on the window's thread right around each change. The
// "about to" calls let a Qt model issue its begin* calls; the others follow the change.
// An observer must not change the table from inside a notification.
class DeviceTableObserver {
public:
    virtual ~DeviceTableObserver() = default;
    virtual void rows_about_to_be_inserted(int /*first*/, int /*last*/) {}
    virtual void rows_inserted(int /*first*/, int /*last*/) {}
    virtual void cell_changed(int /*row*/, int /*col*/) {}
    virtual void check_changed(int /*row*/) {}
    // Every row may have gone or changed (clear_rows, assign_rows).
    virtual void rows_about_to_be_reset() {}
    virtual void rows_reset() {}
    // Same rows, new order: the row now at position i was at position new_to_old[i].
    virtual void rows_about_to_be_reordered() {}
    virtual void rows_reordered(const std::vector<int>& /*new_to_old*/) {}
};

class DeviceTable {
public:
    DeviceTable() = default;
    DeviceTable(const DeviceTable&) = delete;
    DeviceTable& operator=(const DeviceTable&) = delete;

    // ---- elementary operations (bad row or column indexes do nothing) ----
    int row_count() const { return static_cast<int>(rows_.size()); }
    static constexpr int column_count() { return kColumnCount; }
    // Appends a row whose column 0 is col0, the other cells empty, unticked, tag 0.
    // Returns its index (always the last).
    int append_row(const std::string& col0);
    void set_cell(int row, int col, const std::string& text);
    // Empty text for a missing row or column.
    std::string get_cell(int row, int col) const;
    void set_check(int row, bool ticked);
    // false for a missing row.
    bool get_check(int row) const;
    void set_tag(int row, int tag);
    // kNoWorker for a missing row, so that no worker takes it.
    int get_tag(int row) const;
    // Removes every row.
    void clear_rows();

    // ---- whole rows, for the window's sort and filter ----
    // nullptr for a missing row. Valid until the table next changes.
    const DeviceRow* row(int index) const;
    const std::vector<DeviceRow>& rows() const { return rows_; }
    // Appends a complete row; returns its index.
    int append_row(DeviceRow row);
    // Appends rows at the end with one notification (a view lays itself out once for all of
    // them); returns the index of the first, which is the row count before when rows is empty.
    int append_rows(std::vector<DeviceRow> rows);
    // Replaces every row (the filter rebuild); one reset notification.
    void assign_rows(std::vector<DeviceRow> rows);
    // Puts old row new_to_old[i] at position i. Refused (false, nothing changes) unless
    // new_to_old is a permutation of 0 .. row_count - 1.
    bool reorder(const std::vector<int>& new_to_old);
    // Sorts the rows by less; rows that compare equal keep their order.
    void stable_sort_rows(const std::function<bool(const DeviceRow&, const DeviceRow&)>& less);

    // Observers are not owned; remove one before destroying it.
    void add_observer(DeviceTableObserver* observer);
    void remove_observer(DeviceTableObserver* observer);

private:
    bool valid_row(int row) const { return row >= 0 && row < row_count(); }
    template <class F>
    void notify(F&& f) {
        for (DeviceTableObserver* o : observers_) f(*o);
    }

    std::vector<DeviceRow> rows_;
    std::vector<DeviceTableObserver*> observers_;
};

}  // namespace quillon
