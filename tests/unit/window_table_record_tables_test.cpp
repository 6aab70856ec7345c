// SPDX-License-Identifier: Apache-2.0
#include "window/record_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

// Appends a full row: ip, mac, type, version and tick given; the rest derived from the index.
int add(DeviceTable& t, const std::string& ip, const std::string& mac, const std::string& type,
        const std::string& version, bool ticked) {
    DeviceRow r;
    r.cells[col_id] = std::to_string(t.row_count() + 1);
    r.cells[col_ip] = ip;
    r.cells[col_devid] = "dev-" + ip;
    r.cells[col_mac] = mac;
    r.cells[col_type] = type;
    r.cells[col_percent] = "0%";
    r.cells[col_stat] = "Ready";
    r.cells[col_elapsed] = "0 s";
    r.cells[col_begin] = "2024-01-02 03:04:05";
    r.cells[col_version] = version;
    r.ticked = ticked;
    return t.append_row(r);
}

TEST(RecordTables, SaveRecordHoldsTheTenTextsThenTheTick) {
    DeviceTable t;
    RecordTables rt;
    int r0 = add(t, "10.0.0.1", "AA:01", "PANEL", "V1", true);
    int r1 = add(t, "10.0.0.2", "AA:02", "MONITOR", "V2", false);
    rt.save_record(RecordTable::found, r0, t);
    rt.save_record(RecordTable::found, r1, t);

    auto recs = rt.copy(RecordTable::found);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0], (DeviceRecord{"1", "10.0.0.1", "dev-10.0.0.1", "AA:01", "PANEL", "0%",
                                     "Ready", "0 s", "2024-01-02 03:04:05", "V1", "TRUE"}));
    ASSERT_EQ(recs[1].size(), 11u);
    EXPECT_EQ(recs[1][10], "FLASE");             // the unticked spelling of the saved records
    EXPECT_EQ(rt.size(RecordTable::range), 0u);  // the other table is untouched

    // An unticked row rebuilt from its record is unticked again; a ticked one ticked.
    EXPECT_FALSE(row_of_record(recs[1]).ticked);
    EXPECT_TRUE(row_of_record(recs[0]).ticked);
    EXPECT_EQ(row_of_record(recs[1]).cells, t.rows()[1].cells);
}

TEST(RecordTables, SaveRecordReplacesAndFollowsTheRowCount) {
    DeviceTable t;
    RecordTables rt;
    add(t, "10.0.0.1", "AA:01", "PANEL", "V1", true);
    rt.save_record(RecordTable::range, 0, t);
    t.set_cell(0, col_stat, "success");
    t.set_check(0, false);
    rt.save_record(RecordTable::range, 0, t);
    auto recs = rt.copy(RecordTable::range);
    ASSERT_EQ(recs.size(), 1u);
    ASSERT_EQ(recs[0].size(), 11u);  // replaced, not extended
    EXPECT_EQ(recs[0][col_stat], "success");
    EXPECT_EQ(recs[0][10], "FLASE");

    // Saving row 2 of three rows pads the table with empty records up to the row count.
    add(t, "10.0.0.2", "AA:02", "PANEL", "V1", true);
    add(t, "10.0.0.3", "AA:03", "PANEL", "V1", true);
    rt.save_record(RecordTable::range, 2, t);
    recs = rt.copy(RecordTable::range);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_TRUE(recs[1].empty());
    EXPECT_EQ(recs[2][col_ip], "10.0.0.3");

    // A row outside the list stores nothing, but the table still follows the row count.
    rt.save_record(RecordTable::range, 3, t);
    rt.save_record(RecordTable::range, -1, t);
    EXPECT_EQ(rt.size(RecordTable::range), 3u);
    t.clear_rows();
    add(t, "10.0.0.9", "AA:09", "PANEL", "V9", true);
    rt.save_record(RecordTable::range, 0, t);
    recs = rt.copy(RecordTable::range);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0][col_ip], "10.0.0.9");
}

TEST(RecordTables, LookupsTakeTheFirstRecordWithTheIpAndTheirOwnTable) {
    DeviceTable t;
    RecordTables rt;
    add(t, "10.0.0.1", "AA:01", "PANEL", "V1", true);
    add(t, "10.0.0.2", "AA:02", "MONITOR", "V2", true);
    add(t, "10.0.0.1", "BB:01", "PERSON", "V3", true);  // a second record, same IP
    for (int i = 0; i < 3; ++i) rt.save_record(RecordTable::found, i, t);

    EXPECT_EQ(rt.lookup_devid("10.0.0.1"), "dev-10.0.0.1");
    EXPECT_EQ(rt.lookup_mac("10.0.0.1"), "AA:01");
    EXPECT_EQ(rt.lookup_type("10.0.0.1"), "PANEL");
    EXPECT_EQ(rt.lookup_version("10.0.0.1"), "V1");
    EXPECT_EQ(rt.lookup_mac("10.0.0.2"), "AA:02");
    // No record with that IP (also no prefix or case games): empty.
    EXPECT_EQ(rt.lookup_mac("10.0.0.10"), "");
    EXPECT_EQ(rt.lookup_mac("10.0.0."), "");
    EXPECT_EQ(rt.lookup_type(""), "");
    // range_records is a separate table.
    EXPECT_EQ(rt.lookup_range_mac("10.0.0.1"), "");

    DeviceTable rows;
    add(rows, "10.0.0.7", "CC:07", "", "", true);
    add(rows, "10.0.0.7", "DD:07", "", "", true);
    rt.save_record(RecordTable::range, 1, rows);  // record 0 stays an empty placeholder
    rt.save_record(RecordTable::range, 0, rows);
    EXPECT_EQ(rt.lookup_range_mac("10.0.0.7"), "CC:07");
    EXPECT_EQ(rt.lookup_mac("10.0.0.7"), "");  // found_records has no such IP

    rt.clear(RecordTable::found);
    EXPECT_EQ(rt.lookup_mac("10.0.0.1"), "");
    EXPECT_EQ(rt.lookup_range_mac("10.0.0.7"), "CC:07");
}

TEST(RecordTables, RangeRefreshOnlyBelowTheRowCountAndOnlyMatchingRecords) {
    DeviceTable t;
    RecordTables rt;
    add(t, "10.0.0.5", "", "", "", true);
    add(t, "10.0.0.6", "", "", "", true);
    add(t, "10.0.0.5", "", "", "", true);
    for (int i = 0; i < 3; ++i) rt.save_record(RecordTable::range, i, t);
    const auto before = rt.copy(RecordTable::range);

    // An address that no record has changes nothing.
    rt.refresh_range(3, "10.0.0.9", "id", "mac", "TYPE", "ver", "Ready");
    EXPECT_EQ(rt.copy(RecordTable::range), before);

    // Records at or beyond the row count are not refreshed.
    rt.refresh_range(2, "10.0.0.5", "0101", "AA:05", "PANEL", "V5", "Ready");
    auto recs = rt.copy(RecordTable::range);
    EXPECT_EQ(recs[0], (DeviceRecord{"1", "10.0.0.5", "0101", "AA:05", "PANEL", "0%", "Ready",
                                     "0 s", "2024-01-02 03:04:05", "V5", "TRUE"}));
    EXPECT_EQ(recs[1], before[1]);
    EXPECT_EQ(recs[2], before[2]);

    rt.refresh_range(3, "10.0.0.5", "0102", "AA:06", "MONITOR", "V6", "Ready");
    recs = rt.copy(RecordTable::range);
    EXPECT_EQ(recs[2][col_mac], "AA:06");
    EXPECT_EQ(recs[0][col_mac], "AA:06");  // every matching record, not only the first
    EXPECT_EQ(recs[1], before[1]);
    // found_records is not part of the range refresh.
    EXPECT_EQ(rt.size(RecordTable::found), 0u);
}

TEST(RecordTables, SetTickMarksTheDevicesCompleteRecordsOnly) {
    DeviceTable t;
    RecordTables rt;
    add(t, "10.0.0.1", "AA:01", "PANEL", "V1", false);
    add(t, "10.0.0.2", "AA:02", "PANEL", "V1", false);
    add(t, "10.0.0.2", "AA:99", "PANEL", "V1", false);  // a second device on the address
    rt.save_record(RecordTable::found, 1, t);           // record 0: empty placeholder
    rt.save_record(RecordTable::found, 2, t);
    rt.set_tick(RecordTable::found, "10.0.0.2", "AA:02", true);
    rt.set_tick(RecordTable::found, "10.0.0.1", "AA:01", true);  // only its placeholder: nothing
    rt.set_tick(RecordTable::found, "10.0.0.3", "AA:03", true);  // no such device
    rt.set_tick(RecordTable::range, "10.0.0.2", "AA:02", true);  // the other table is empty
    auto recs = rt.copy(RecordTable::found);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_TRUE(recs[0].empty());
    EXPECT_EQ(recs[1][10], "TRUE");
    EXPECT_EQ(recs[2][10], "FLASE") << "the other MAC is another device";
    EXPECT_EQ(rt.size(RecordTable::range), 0u);
    rt.set_tick(RecordTable::found, "10.0.0.2", "AA:02", false);
    EXPECT_EQ(rt.copy(RecordTable::found)[1][10], "FLASE");

    // The engine's MAC text is cut to 127 bytes; the record holds the whole text.
    DeviceTable l;
    const std::string long_mac(300, 'm');
    add(l, "10.0.0.9", long_mac, "PANEL", "V1", false);
    RecordTables lt;
    lt.save_record(RecordTable::found, 0, l);
    lt.set_tick(RecordTable::found, "10.0.0.9", long_mac.substr(0, 127), true);
    EXPECT_EQ(lt.copy(RecordTable::found)[0][10], "TRUE");

    // Range records are one per address: the IP alone names the device there.
    DeviceTable r;
    add(r, "10.0.1.1", "", "", "", true);
    rt.save_record(RecordTable::range, 0, r);
    rt.set_tick(RecordTable::range, "10.0.1.1", "AA:unknown", false);
    EXPECT_EQ(rt.copy(RecordTable::range)[0][10], "FLASE");
}

TEST(RecordTables, SaveChecksMatchesByIpAndForFoundRecordsByMacToo) {
    DeviceTable all;
    RecordTables rt;
    add(all, "10.0.0.1", "AA:01", "PANEL", "V1", true);
    add(all, "10.0.0.2", "AA:02", "MONITOR", "V1", true);
    add(all, "10.0.0.3", "AA:03", "PANEL", "V1", true);
    for (int i = 0; i < 3; ++i) {
        rt.save_record(RecordTable::found, i, all);
        rt.save_record(RecordTable::range, i, all);
    }

    // The list now shows a filtered view: rows 1 and 3, both unticked; row 3 with another MAC.
    DeviceTable view;
    add(view, "10.0.0.1", "AA:01", "PANEL", "V1", false);
    add(view, "10.0.0.3", "FF:FF", "PANEL", "V1", false);
    rt.save_checks(RecordTable::found, view);
    rt.save_checks(RecordTable::range, view);

    auto found = rt.copy(RecordTable::found);
    EXPECT_EQ(found[0][10], "FLASE");
    EXPECT_EQ(found[1][10], "TRUE");  // hidden row keeps its flag
    EXPECT_EQ(found[2][10], "TRUE");  // same IP, other MAC: not the same found device
    auto range = rt.copy(RecordTable::range);
    EXPECT_EQ(range[0][10], "FLASE");
    EXPECT_EQ(range[1][10], "TRUE");
    EXPECT_EQ(range[2][10], "FLASE");  // range records match by IP alone
    // Only the tick text changes.
    for (int c = 0; c < 10; ++c) EXPECT_EQ(found[2][c], all.get_cell(2, c));
}

}  // namespace
}  // namespace quillon
