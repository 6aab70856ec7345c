// The intake over the headless window: the device list, type filter and record tables that
// the answers end up in.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <ctime>
#include <string>
#include <vector>

#include "discovery/intake.h"
#include "intake_fakes.h"
#include "log/log_file.h"
#include "texts/ui_texts.h"
#include "window/headless_window.h"

namespace quillon {
namespace {

using test::FakeWorkers;
using test::TempDir;

// 2023-11-14 22:13:20 UTC
std::time_t fixed_clock() { return 1700000000; }

class IntakeListing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("TZ", "UTC0", 1);
        tzset();
        ui_texts().fill(true);
    }

    IntakeListing() { report.Open((dir.path() / "upgrade_user.html").string()); }

    std::vector<DeviceRow> rows() {
        std::vector<DeviceRow> out;
        win.run([&] { out = win.device_table().rows(); });
        return out;
    }
    std::string report_text() {
        std::ifstream in(dir.path() / "upgrade_user.html");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    TempDir dir;
    LogFile report;
    HeadlessWindow win{report, {"ALL"}};
    FakeWorkers workers;
    DeviceIntake intake{win, workers, &fixed_clock};
};

TEST_F(IntakeListing, NewDevicesBecomeTickedReadyRowsNumberedInOrder) {
    intake.add_found_device("198.18.0.10", "1019901", "00:aa", "V1", "Ready");
    intake.add_found_device("198.18.0.11", "01010101", "00:bb", "V2", "Ready");
    intake.add_found_device("198.18.0.12", nullptr, "00:cc", nullptr, "Ready");

    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 3u);
    const std::array<std::string, kColumnCount> first = {
        "1", "198.18.0.10", "01-01", "00:aa", "PANEL", "0%", "Ready", "0 s",
        "2023-11-14 22:13:20", "V1"};
    EXPECT_EQ(r[0].cells, first);
    EXPECT_EQ(r[1].cells[col_id], "2");
    EXPECT_EQ(r[1].cells[col_devid], "01-01-0101");
    EXPECT_EQ(r[1].cells[col_type], "MONITOR");
    EXPECT_EQ(r[2].cells[col_id], "3");
    EXPECT_EQ(r[2].cells[col_devid], "");
    EXPECT_EQ(r[2].cells[col_type], "LIFT");
    EXPECT_EQ(r[2].cells[col_version], "");
    for (const DeviceRow& row : r) {
        EXPECT_TRUE(row.ticked);
        EXPECT_EQ(row.tag, kNoWorker);
    }

    // Each listed row is saved, ticked, at its own position.
    const std::vector<DeviceRecord> found = win.record_tables().copy(RecordTable::found);
    ASSERT_EQ(found.size(), 3u);
    for (size_t i = 0; i < found.size(); ++i) {
        ASSERT_EQ(found[i].size(), static_cast<size_t>(kRecordTextCount));
        EXPECT_TRUE(std::equal(r[i].cells.begin(), r[i].cells.end(), found[i].begin()));
        EXPECT_EQ(found[i][kRecordTickText], "TRUE");
    }
}

TEST_F(IntakeListing, RowNumberIsTheRowCountBeforeItPlusOne) {
    // Rows that were there before (a range scan) count as well.
    win.add_range_row("198.18.0.50", "running");
    win.add_range_row("198.18.0.51", "running");
    intake.add_found_device("198.18.0.10", "10001", "00:aa", "V1", "Ready");
    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[2].cells[col_id], "3");
    EXPECT_EQ(r[2].cells[col_ip], "198.18.0.10");
}

TEST_F(IntakeListing, SameIpWithAnotherMacIsNotListedTwice) {
    intake.add_found_device("198.18.0.10", "10001", "00:aa", "V1", "Ready");
    intake.add_found_device("198.18.0.10", "20000", "00:bb", "V2", "Ready");
    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].cells[col_mac], "00:aa");
    EXPECT_EQ(r[0].cells[col_version], "V1");
    EXPECT_EQ(win.record_tables().size(RecordTable::found), 1u);
}

TEST_F(IntakeListing, SameMacOnAnotherIpIsNotListedTwice) {
    intake.add_found_device("198.18.0.10", "10001", "00:aa", "V1", "Ready");
    intake.add_found_device("198.18.0.11", "10001", "00:aa", "V2", "Ready");
    // Comparison is exact: another case is another MAC text.
    intake.add_found_device("198.18.0.12", "10001", "00:AA", "V3", "Ready");
    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].cells[col_ip], "198.18.0.10");
    EXPECT_EQ(r[1].cells[col_ip], "198.18.0.12");
}

TEST_F(IntakeListing, EachTypeNameIsOfferedOnceInTheTypeFilter) {
    for (int i = 0; i < 5; ++i) {
        const std::string ip = "198.18.0." + std::to_string(10 + i);
        const std::string mac = "00:0" + std::to_string(i);
        intake.add_found_device(ip.c_str(), i % 2 ? "01010101" : "1019901", mac.c_str(), "v",
                                "Ready");
    }
    const HeadlessWidgets w = win.widgets();
    EXPECT_EQ(w.type_filter_entries, (std::vector<std::string>{"ALL", "PANEL", "MONITOR"}));
    EXPECT_EQ(w.type_filter_choice, 0);
}

TEST_F(IntakeListing, ClosedIntakeWithoutRangeBoxChangesNoRow) {
    intake.add_found_device("198.18.0.10", "10001", "00:aa", "V1", "Ready");
    const std::vector<DeviceRow> before = rows();
    win.flags().intake_closed = 1;
    intake.add_found_device("198.18.0.10", "20000", "00:bb", "V2", "Ready");
    intake.add_found_device("198.18.0.11", "20000", "00:cc", "V2", "Ready");
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(win.record_tables().size(RecordTable::found), 1u);
    EXPECT_EQ(win.widgets().type_filter_entries, (std::vector<std::string>{"ALL", "CENTER"}));
}

TEST_F(IntakeListing, ClosedIntakeWithRangeBoxRefreshesRowAndRangeRecord) {
    win.set_range_box(true);
    win.flags().intake_closed = 1;
    const int row = win.add_range_row("198.18.0.10", "running");
    ASSERT_EQ(row, 0);
    win.add_range_row("198.18.0.11", "running");

    intake.add_found_device("198.18.0.10", "12345678901", "00:aa", "V9", "Ready");

    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].cells[col_devid], "0345-67-891 ");
    EXPECT_EQ(r[0].cells[col_mac], "00:aa");
    EXPECT_EQ(r[0].cells[col_type], "PERSON");
    EXPECT_EQ(r[0].cells[col_stat], "Ready");
    EXPECT_EQ(r[0].cells[col_version], "V9");
    EXPECT_EQ(r[1].cells[col_mac], "");  // another address: untouched
    const std::vector<DeviceRecord> range = win.record_tables().copy(RecordTable::range);
    ASSERT_EQ(range.size(), 2u);
    EXPECT_EQ(range[0][3], "00:aa");
    EXPECT_EQ(range[0][4], "PERSON");
    EXPECT_EQ(range[1][3], "");
    EXPECT_EQ(win.record_tables().size(RecordTable::found), 0u);
}

TEST_F(IntakeListing, ConflictDuringABatchChangesNoRowWithoutRangeBox) {
    intake.add_found_device("198.18.0.10", "10001", "00:aa", "V1", "Ready");
    const std::vector<DeviceRow> before = rows();
    win.flags().intake_closed = 1;
    win.flags().conflict_watch = 1;
    workers.count = 1;
    workers.set(0, "198.18.0.10", "00:aa");
    intake.add_found_device("198.18.0.10", "10001", "00:bb", "V1", "Ready");
    EXPECT_EQ(workers.conflict[0].load(), 1);
    EXPECT_EQ(rows(), before);
    EXPECT_NE(report_text().find("ipaddress conflict, IP:198.18.0.10 MAC:00:bb MAC2:00:aa"),
              std::string::npos);
}

}  // namespace
}  // namespace quillon
