// SPDX-License-Identifier: Apache-2.0
// The list and record requests of the window port, through the headless window.
#include "window/table_port.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "window_table_test_support.h"
#include "window/headless_window.h"
#include "support/headless_cells.h"
#include "texts/ui_texts.h"

namespace quillon {
namespace {

const std::vector<std::string> kStartEntries = {"ALL", "PANEL", "MONITOR", "PERSON"};

// A window whose clock is fixed, so range rows can be compared whole.
class FixedClockWindow : public HeadlessWindow {
public:
    FixedClockWindow() : HeadlessWindow(test::unused_user_report(), kStartEntries) {
        ui_texts().fill(true);  // the window's words in English
    }

protected:
    std::string local_time_text() override { return "2024-05-06 07:08:09"; }
};

FoundDevice device(const std::string& ip, const std::string& mac,
                   const std::string& type = "PANEL") {
    return FoundDevice{ip, "01-01", mac, type, "V2.0." + ip, "Ready", "2024-01-02 03:04:05"};
}

std::vector<DeviceRow> rows_of(HeadlessWindow& w) {
    std::vector<DeviceRow> rows;
    w.run([&] { rows = w.device_table().rows(); });
    return rows;
}

TEST(TablePort, FoundDeviceBecomesATickedRowNumberedFromOneWithItsRecord) {
    FixedClockWindow w;
    int columns = 0;
    w.run([&] { columns = w.device_table().column_count(); });
    EXPECT_EQ(columns, 10);
    ASSERT_EQ(w.insert_found_device(device("10.0.0.5", "AA:05")), 0);
    ASSERT_EQ(w.insert_found_device(device("10.0.0.6", "AA:06", "MONITOR")), 1);
    ASSERT_EQ(w.row_count(), 2);

    const std::vector<std::string> expected = {"1",
                                               "10.0.0.5",
                                               "01-01",
                                               "AA:05",
                                               "PANEL",
                                               "0%",
                                               "Ready",
                                               "0 s",
                                               "2024-01-02 03:04:05",
                                               "V2.0.10.0.0.5"};
    for (int c = 0; c < 10; ++c) EXPECT_EQ(test::cell_of(w, 0, c), expected[c]) << "column " << c;
    EXPECT_EQ(test::cell_of(w, 1, col_id), "2");
    EXPECT_TRUE(w.get_check(0));
    EXPECT_EQ(test::tag_of(w, 0), -1);
    EXPECT_EQ(w.count_checked(), 2);

    auto found = w.record_tables().copy(RecordTable::found);
    ASSERT_EQ(found.size(), 2u);
    DeviceRecord rec0 = expected;
    rec0.push_back("TRUE");
    EXPECT_EQ(found[0], rec0);
    EXPECT_EQ(w.record_tables().size(RecordTable::range), 0u);
    EXPECT_EQ(w.record_tables().lookup_type("10.0.0.6"), "MONITOR");
}

TEST(TablePort, SameDeviceMeansSameIpOrSameMacExactly) {
    FixedClockWindow w;
    ASSERT_EQ(w.insert_found_device(device("10.0.0.5", "AA:05")), 0);
    EXPECT_EQ(w.insert_found_device(device("10.0.0.5", "AA:99")), -1);  // same IP
    EXPECT_EQ(w.insert_found_device(device("10.0.0.9", "AA:05")), -1);  // same MAC
    // Case matters, and an IP is not matched by prefix.
    EXPECT_EQ(w.insert_found_device(device("10.0.0.50", "aa:05")), 1);
    // An empty MAC names no device: two answers without one are two devices.
    EXPECT_EQ(w.insert_found_device(device("10.0.0.7", "")), 2);
    EXPECT_EQ(w.insert_found_device(device("10.0.0.8", "")), 3);
    EXPECT_EQ(w.insert_found_device(device("10.0.0.8", "")), -1);  // but its IP still does
    EXPECT_EQ(w.row_count(), 4);
    EXPECT_EQ(w.record_tables().size(RecordTable::found), 4u);

    // A duplicate leaves its row as it was (no refresh).
    auto before = rows_of(w);
    w.set_check(0, false);
    before[0].ticked = false;
    FoundDevice again = device("10.0.0.5", "AA:05", "WALL");
    again.version = "V9";
    EXPECT_EQ(w.insert_found_device(again), -1);
    EXPECT_EQ(rows_of(w), before);
}

TEST(TablePort, NewTypeNameIsOfferedInTheTypeFilterOnce) {
    FixedClockWindow w;
    w.choose_type_filter(2);
    for (int i = 0; i < 5; ++i)
        w.insert_found_device(
            device("10.0.1." + std::to_string(i), "W" + std::to_string(i), "WALL"));
    w.insert_found_device(device("10.0.2.1", "P1", "PANEL"));
    // A device already listed offers nothing, not even a new type.
    w.insert_found_device(device("10.0.1.0", "X", "LIFT"));
    HeadlessWidgets s = w.widgets();
    EXPECT_EQ(s.type_filter_entries,
              (std::vector<std::string>{"ALL", "PANEL", "MONITOR", "PERSON", "WALL"}));
    EXPECT_EQ(s.type_filter_choice, 2);  // the choice stays
    EXPECT_EQ(w.type_filter_text(), "MONITOR");
}

TEST(TablePort, InsertionIsRefusedOnceTheIntakeIsClosed) {
    // The filter closes the intake and rebuilds the list with fewer rows; an answer that slipped
    // past the intake's own check must not land there and cut found_records to the row count.
    FixedClockWindow w;
    for (int i = 0; i < 4; ++i)
        w.insert_found_device(device("10.0.0." + std::to_string(i + 1), "M" + std::to_string(i)));
    w.run([&] {
        w.flags().intake_closed = 1;
        auto recs = w.record_tables().copy(RecordTable::found);
        w.device_table().assign_rows({row_of_record(recs[2])});
    });
    EXPECT_EQ(w.insert_found_device(device("10.0.0.99", "M99")), -1);
    EXPECT_EQ(w.row_count(), 1);
    EXPECT_EQ(w.record_tables().size(RecordTable::found), 4u);
    w.flags().intake_closed = 0;
    w.clear_rows();
    w.clear_records(RecordTable::found);
    EXPECT_EQ(w.insert_found_device(device("10.0.0.99", "M99")), 0);
}

TEST(TablePort, RangeRowForAnUnknownAddressHasEmptyDiscoveryTexts) {
    FixedClockWindow w;
    ASSERT_EQ(w.add_range_row("192.168.7.20"), 0);
    EXPECT_EQ(test::cell_of(w, 0, col_id), "1");
    const std::vector<std::string> expected = {
        "1", "192.168.7.20", "", "", "", "0%", "running", "0 s", "2024-05-06 07:08:09", ""};
    for (int c = 0; c < 10; ++c) EXPECT_EQ(test::cell_of(w, 0, c), expected[c]) << "column " << c;
    EXPECT_FALSE(w.get_check(0));  // the worker ticks it when its upgrade starts
    auto recs = w.record_tables().copy(RecordTable::range);
    ASSERT_EQ(recs.size(), 1u);
    ASSERT_EQ(recs[0].size(), 11u);
    EXPECT_EQ(recs[0][10], "FLASE");
    EXPECT_EQ(w.lookup_range_mac("192.168.7.20"), "");
    EXPECT_EQ(w.record_tables().size(RecordTable::found), 0u);
}

TEST(TablePort, RangeRowTakesWhatDiscoveryFoundForItsAddress) {
    FixedClockWindow w;
    w.insert_found_device(device("192.168.7.21", "AA:21", "MONITOR"));
    w.clear_rows();  // START in range mode empties the list; found_records stay
    ASSERT_EQ(w.add_range_row("192.168.7.21"), 0);
    EXPECT_EQ(test::cell_of(w, 0, col_id), "1");
    EXPECT_EQ(test::cell_of(w, 0, col_devid), "01-01");
    EXPECT_EQ(test::cell_of(w, 0, col_mac), "AA:21");
    EXPECT_EQ(test::cell_of(w, 0, col_type), "MONITOR");
    EXPECT_EQ(test::cell_of(w, 0, col_version), "V2.0.192.168.7.21");
    EXPECT_EQ(w.lookup_range_mac("192.168.7.21"), "AA:21");
    ASSERT_EQ(w.add_range_row("192.168.7.22"), 1);
    EXPECT_EQ(test::cell_of(w, 1, col_id), "2");
}

TEST(TablePort, RangeRowBeginTimeIsTheLocalTime) {
    HeadlessWindow w(test::unused_user_report(), kStartEntries);
    w.add_range_row("192.168.7.30");
    const std::string t = test::cell_of(w, 0, col_begin);
    // "YYYY-MM-DD hh:mm:ss": digits everywhere but the fixed separators.
    const std::string shape = "dddd-dd-dd dd:dd:dd";
    ASSERT_EQ(t.size(), shape.size()) << t;
    for (size_t i = 0; i < t.size(); ++i) {
        if (shape[i] == 'd') {
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(t[i]))) << t;
        } else {
            EXPECT_EQ(t[i], shape[i]) << t;
        }
    }
    // It is now's local time (read back through mktime, which takes local time).
    std::tm tm{};
    ASSERT_EQ(std::sscanf(t.c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                          &tm.tm_hour, &tm.tm_min, &tm.tm_sec),
              6);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    EXPECT_LE(std::llabs(static_cast<long long>(std::time(nullptr) - std::mktime(&tm))), 60);
}

TEST(TablePort, RangeRefreshUpdatesRowsAndRangeRecordsOfThatAddressOnly) {
    FixedClockWindow w;
    w.set_range_box(true);
    w.add_range_row("192.168.7.40");
    w.add_range_row("192.168.7.41");
    w.add_range_row("192.168.7.40");
    const auto rows_before = rows_of(w);
    const auto recs_before = w.record_tables().copy(RecordTable::range);

    w.update_row_by_ip("192.168.7.99", "x", "y", "z", "v", "Ready");
    w.update_row_by_ip("192.168.7.4", "x", "y", "z", "v", "Ready");  // no prefix match
    EXPECT_EQ(rows_of(w), rows_before);
    EXPECT_EQ(w.record_tables().copy(RecordTable::range), recs_before);

    w.update_row_by_ip("192.168.7.40", "01-02", "AA:40", "PANEL", "V4", "Ready");
    auto rows = rows_of(w);
    auto recs = w.record_tables().copy(RecordTable::range);
    for (int i : {0, 2}) {
        EXPECT_EQ(rows[i].cells[col_devid], "01-02");
        EXPECT_EQ(rows[i].cells[col_mac], "AA:40");
        EXPECT_EQ(rows[i].cells[col_type], "PANEL");
        EXPECT_EQ(rows[i].cells[col_stat], "Ready");
        EXPECT_EQ(rows[i].cells[col_version], "V4");
        EXPECT_EQ(rows[i].cells[col_percent], "0%");  // other cells stay
        EXPECT_EQ(recs[i][col_mac], "AA:40");
        EXPECT_EQ(recs[i][col_stat], "Ready");
        EXPECT_EQ(recs[i][10], "FLASE");
    }
    EXPECT_EQ(rows[1], rows_before[1]);
    EXPECT_EQ(recs[1], recs_before[1]);
    EXPECT_EQ(w.lookup_range_mac("192.168.7.40"), "AA:40");

    // With the list emptied (range box ticked again) the records are past the row count.
    w.clear_rows();
    w.update_row_by_ip("192.168.7.41", "01-03", "AA:41", "PANEL", "V4", "Ready");
    EXPECT_EQ(w.lookup_range_mac("192.168.7.41"), "");
}

TEST(TablePort, DeviceEndMarksTheRecordAndSaveRecordReplacesIt) {
    FixedClockWindow w;
    w.insert_found_device(device("10.0.0.1", "AA:01"));
    w.insert_found_device(device("10.0.0.2", "AA:02"));
    // Success: row unticked, record says "FLASE"; failure: ticked, "TRUE".
    w.set_check(0, false);
    w.set_record_tick(RecordTable::found, "10.0.0.1", "AA:01", w.get_check(0));
    w.set_record_tick(RecordTable::found, "10.0.0.2", "AA:02", w.get_check(1));
    auto recs = w.record_tables().copy(RecordTable::found);
    EXPECT_EQ(recs[0][10], "FLASE");
    EXPECT_EQ(recs[1][10], "TRUE");

    test::set_cell_of(w, 1, col_stat, "failure");
    w.run([&] { w.record_tables().save_record(RecordTable::found, 1, w.device_table()); });
    recs = w.record_tables().copy(RecordTable::found);
    ASSERT_EQ(recs[1].size(), 11u);
    EXPECT_EQ(recs[1][col_stat], "failure");
    EXPECT_EQ(w.count_checked(), 1);

    w.clear_records(RecordTable::found);
    EXPECT_EQ(w.record_tables().lookup_mac("10.0.0.1"), "");
    EXPECT_EQ(w.row_count(), 2);  // the list is not a record table
}

}  // namespace
}  // namespace quillon
