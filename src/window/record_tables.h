// SPDX-License-Identifier: Apache-2.0
#pragma once
// The two saved copies of the device list, found_records and range_records.
//
// Record i of a table belongs to row i of the list. Discovery, the workers and the window's
// commands all use them, so they are one object with one lock, held for each whole operation.
// The lock is a leaf: nothing else is locked and nothing is waited for while it is held. The
// operations that read the list (save_record, save_checks) are called on the window's thread,
// which is the only thread that touches the DeviceTable.
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "contract/window_port.h"
#include "window/device_table.h"

namespace quillon {

// The ten column texts in column order, then the tick text.
using DeviceRecord = std::vector<std::string>;
inline constexpr int kRecordTextCount = kColumnCount + 1;
inline constexpr int kRecordTickText = kColumnCount;  // index of the tick text
inline constexpr const char* kTickedText = "TRUE";
// Spelled as the saved records have always spelled it; readers compare with kTickedText.
inline constexpr const char* kUntickedText = "FLASE";

// The record of row `row` as it stands now (empty texts and "FLASE" for a missing row).
DeviceRecord record_of_row(const DeviceTable& table, int row);
// The row a filter rebuild makes of a record: columns from texts 0 to 9 (empty where the record
// is short), ticked when text 10 is "TRUE", tag 0 as any appended row.
DeviceRow row_of_record(const DeviceRecord& record);

class RecordTables {
public:
    RecordTables() = default;
    RecordTables(const RecordTables&) = delete;
    RecordTables& operator=(const RecordTables&) = delete;

    // Makes `table` hold exactly rows.row_count() records (drops the ones beyond, adds empty
    // ones), then replaces record `row` by the row's record. A row outside the list only
    // resizes the table.
    void save_record(RecordTable table, int row, const DeviceTable& rows);

    // Look-ups by IP: the first record whose text 1 equals ip wins; empty when none does.
    std::string lookup_devid(const std::string& ip) const;      // found_records, text 2
    std::string lookup_mac(const std::string& ip) const;        // found_records, text 3
    std::string lookup_type(const std::string& ip) const;       // found_records, text 4
    std::string lookup_version(const std::string& ip) const;    // found_records, text 9
    std::string lookup_range_mac(const std::string& ip) const;  // range_records, text 3

    // The range refresh of a discovery answer: every range record at a position below
    // row_count with at least two texts and text 1 equal to ip gets texts 2, 3, 4, 6 and 9.
    void refresh_range(int row_count, const std::string& ip, const std::string& devid,
                       const std::string& mac, const std::string& type_name,
                       const std::string& version, const std::string& status);

    // Text 10 = "TRUE" / "FLASE" in every complete record of the device: the same IP, and for
    // found_records the same MAC too (as save_checks matches them). By the device and not by
    // the row's position: after a sort or a type filter row r is no longer record r.
    void set_tick(RecordTable table, const std::string& ip, const std::string& mac, bool ticked);

    // For each row of the list, every complete record that matches it (same IP; for
    // found_records also the same MAC) takes the row's tick. Records of rows not in the list
    // keep theirs.
    void save_checks(RecordTable table, const DeviceTable& rows);

    void clear(RecordTable table);
    // A copy, for the filter rebuild.
    std::vector<DeviceRecord> copy(RecordTable table) const;
    std::size_t size(RecordTable table) const;

private:
    std::vector<DeviceRecord>& of(RecordTable t) {
        return t == RecordTable::found ? found_ : range_;
    }
    const std::vector<DeviceRecord>& of(RecordTable t) const {
        return t == RecordTable::found ? found_ : range_;
    }
    std::string lookup(const std::vector<DeviceRecord>& table, const std::string& ip,
                       int text) const;

    mutable std::mutex lock_;  // guards found_ and range_; held for each whole operation
    std::vector<DeviceRecord> found_;
    std::vector<DeviceRecord> range_;
};

}  // namespace quillon
