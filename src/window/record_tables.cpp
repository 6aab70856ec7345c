// SPDX-License-Identifier: Apache-2.0
#include "window/record_tables.h"

#include <unordered_map>

namespace quillon {

namespace {
const char* tick_text(bool ticked) { return ticked ? kTickedText : kUntickedText; }
bool complete(const DeviceRecord& r) { return static_cast<int>(r.size()) >= kRecordTextCount; }
}  // namespace

DeviceRecord record_of_row(const DeviceTable& table, int row) {
    DeviceRecord r;
    r.reserve(kRecordTextCount);
    for (int c = 0; c < table.column_count(); ++c) r.push_back(table.get_cell(row, c));
    r.emplace_back(tick_text(table.get_check(row)));
    return r;
}

DeviceRow row_of_record(const DeviceRecord& record) {
    DeviceRow row;
    for (int c = 0; c < kColumnCount && c < static_cast<int>(record.size()); ++c)
        row.cells[c] = record[c];
    row.ticked = complete(record) && record[kRecordTickText] == kTickedText;
    return row;
}

void RecordTables::save_record(RecordTable table, int row, const DeviceTable& rows) {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<DeviceRecord>& t = of(table);
    t.resize(static_cast<std::size_t>(rows.row_count()));
    if (row < 0 || row >= rows.row_count()) return;
    t[row] = record_of_row(rows, row);
}

std::string RecordTables::lookup(const std::vector<DeviceRecord>& table, const std::string& ip,
                                 int text) const {
    for (const DeviceRecord& r : table) {
        if (r.size() < 2 || r[col_ip] != ip) continue;
        // The first record with this IP answers, even when it is too short to hold the text.
        return text < static_cast<int>(r.size()) ? r[text] : std::string();
    }
    return {};
}

std::string RecordTables::lookup_devid(const std::string& ip) const {
    std::lock_guard<std::mutex> g(lock_);
    return lookup(found_, ip, col_devid);
}

std::string RecordTables::lookup_mac(const std::string& ip) const {
    std::lock_guard<std::mutex> g(lock_);
    return lookup(found_, ip, col_mac);
}

std::string RecordTables::lookup_type(const std::string& ip) const {
    std::lock_guard<std::mutex> g(lock_);
    return lookup(found_, ip, col_type);
}

std::string RecordTables::lookup_version(const std::string& ip) const {
    std::lock_guard<std::mutex> g(lock_);
    return lookup(found_, ip, col_version);
}

std::string RecordTables::lookup_range_mac(const std::string& ip) const {
    std::lock_guard<std::mutex> g(lock_);
    return lookup(range_, ip, col_mac);
}

void RecordTables::refresh_range(int row_count, const std::string& ip, const std::string& devid,
                                 const std::string& mac, const std::string& type_name,
                                 const std::string& version, const std::string& status) {
    std::lock_guard<std::mutex> g(lock_);
    for (int i = 0; i < row_count && i < static_cast<int>(range_.size()); ++i) {
        DeviceRecord& r = range_[i];
        if (r.size() < 2 || r[col_ip] != ip) continue;
        // A short record takes only the texts it has room for.
        auto put = [&r](int text, const std::string& value) {
            if (text < static_cast<int>(r.size())) r[text] = value;
        };
        put(col_devid, devid);
        put(col_mac, mac);
        put(col_type, type_name);
        put(col_stat, status);
        put(col_version, version);
    }
}

void RecordTables::set_tick(RecordTable table, const std::string& ip, const std::string& mac,
                            bool ticked) {
    std::lock_guard<std::mutex> g(lock_);
    for (DeviceRecord& r : of(table)) {
        if (!complete(r) || r[col_ip] != ip) continue;
        // The engine keeps at most kEngineTextMax bytes of a MAC; the record keeps it whole.
        if (table == RecordTable::found &&
            r[col_mac].substr(0, kEngineTextMax) != mac.substr(0, kEngineTextMax))
            continue;
        r[kRecordTickText] = tick_text(ticked);
    }
}

void RecordTables::save_checks(RecordTable table, const DeviceTable& rows) {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<DeviceRecord>& t = of(table);
    // Index the records by IP once instead of scanning every record for every row.
    std::unordered_multimap<std::string, std::size_t> by_ip;
    by_ip.reserve(t.size());
    for (std::size_t i = 0; i < t.size(); ++i)
        if (complete(t[i])) by_ip.emplace(t[i][col_ip], i);
    for (const DeviceRow& row : rows.rows()) {
        auto [first, last] = by_ip.equal_range(row.cells[col_ip]);
        for (auto it = first; it != last; ++it) {
            DeviceRecord& r = t[it->second];
            if (table == RecordTable::found && r[col_mac] != row.cells[col_mac]) continue;
            r[kRecordTickText] = tick_text(row.ticked);
        }
    }
}

void RecordTables::clear(RecordTable table) {
    std::lock_guard<std::mutex> g(lock_);
    of(table).clear();
}

std::vector<DeviceRecord> RecordTables::copy(RecordTable table) const {
    std::lock_guard<std::mutex> g(lock_);
    return of(table);
}

std::size_t RecordTables::size(RecordTable table) const {
    std::lock_guard<std::mutex> g(lock_);
    return of(table).size();
}

}  // namespace quillon
