// SPDX-License-Identifier: Apache-2.0
// The intake over the headless window: the device list, type filter, record tables and user
// report that discovery answers end up in.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "discovery/intake.h"
#include "discovery_intake_fakes.h"
#include "log/log_file.h"
#include "platform/local_time.h"
#include "texts/ui_texts.h"
#include "window/headless_window.h"
#include "support/headless_cells.h"

#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using test::FakeWorkers;
using test::TempDir;

std::time_t fixed_clock() { return 1700000000; }  // 2023-11-14 22:13:20 UTC

int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

// The process's time zone, on either system (msvcrt reads TZ in _tzset).
void set_time_zone(const char* tz) {
#ifdef _WIN32
    ::_putenv_s("TZ", tz);
    ::_tzset();
#else
    ::setenv("TZ", tz, 1);
    ::tzset();
#endif
}

class IntakeAddFound : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        set_time_zone("UTC0");
        ui_texts().fill(true);
    }

    IntakeAddFound() { report.Open(dir / "upgrade_user.html"); }

    void answer(const char* ip, const char* id, const char* mac, const char* version = "v") {
        intake.add_found_device(ip, id, mac, version, "Ready");
    }
    void close_intake(bool watch) {
        win.flags().intake_closed = 1;
        win.flags().conflict_watch = watch ? 1 : 0;
    }
    std::vector<DeviceRow> rows() {
        std::vector<DeviceRow> out;
        win.run([&] { out = win.device_table().rows(); });
        return out;
    }
    std::string report_text() { return test::read_file(dir / "upgrade_user.html"); }
    int conflict_lines() { return count_of(report_text(), "[USR] ipaddress conflict, "); }

    TempDir dir;
    LogFile report;
    HeadlessWindow win{report, {"ALL"}};
    FakeWorkers workers;
    DeviceIntake intake{win, workers, &fixed_clock};
};

TEST_F(IntakeAddFound, NewDevicesBecomeTickedReadyRowsNumberedByTheRowsBefore) {
    win.add_range_row("198.18.0.50");  // rows already there count too
    answer("198.18.0.10", "1019901", "00:aa", "V1");
    answer("198.18.0.11", "12345678901", "00:bb");
    intake.add_found_device("198.18.0.12", nullptr, nullptr, nullptr, nullptr);

    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 4u);
    const std::array<std::string, kColumnCount> first = {
        "2",   "198.18.0.10",         "01-01", "00:aa", "PANEL", "0%", "Ready",
        "0 s", "2023-11-14 22:13:20", "V1"};
    EXPECT_EQ(r[1].cells, first);
    EXPECT_EQ(r[2].cells[col_id], "3");
    EXPECT_EQ(r[2].cells[col_devid], "0345-67-891 ");
    EXPECT_EQ(r[2].cells[col_type], "PERSON");
    // No id: an empty id (LIFT); no MAC, version or status: empty texts and the Ready word.
    const std::array<std::string, kColumnCount> bare = {
        "4", "198.18.0.12", "", "", "LIFT", "0%", "Ready", "0 s", "2023-11-14 22:13:20", ""};
    EXPECT_EQ(r[3].cells, bare);
    for (int i = 1; i < 4; ++i) {
        EXPECT_TRUE(r[i].ticked);
        EXPECT_EQ(r[i].tag, kNoWorker);
    }
    // Each listed row is saved, ticked, at its own position.
    const std::vector<DeviceRecord> found = win.record_tables().copy(RecordTable::found);
    ASSERT_EQ(found.size(), 4u);
    for (int i = 1; i < 4; ++i) {
        EXPECT_TRUE(std::equal(r[i].cells.begin(), r[i].cells.end(), found[i].begin()));
        EXPECT_EQ(found[i].at(kRecordTickText), "TRUE");
    }
}

TEST_F(IntakeAddFound, BeginTimeIsLocalTime) {
    EXPECT_EQ(local_time_text(0), "1970-01-01 00:00:00");
    set_time_zone("CET-1");
    EXPECT_EQ(local_time_text(951778800), "2000-02-29 00:00:00");
    set_time_zone("UTC0");
}

TEST_F(IntakeAddFound, AnAlreadyListedIpOrMacIsNotListedAgain) {
    answer("198.18.0.10", "10001", "00:aa", "V1");
    answer("198.18.0.10", "20000", "00:bb", "V2");  // same IP, other MAC
    answer("198.18.0.11", "10001", "00:aa", "V3");  // same MAC, other IP
    answer("198.18.0.12", "10001", "00:AA", "V4");  // exact comparison: another MAC
    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].cells[col_mac], "00:aa");
    EXPECT_EQ(r[0].cells[col_version], "V1");  // the listed row is not refreshed
    EXPECT_EQ(r[1].cells[col_ip], "198.18.0.12");
    EXPECT_EQ(win.record_tables().size(RecordTable::found), 2u);
}

TEST_F(IntakeAddFound, EachTypeNameIsOfferedOnceInTheTypeFilter) {
    for (int i = 0; i < 5; ++i) {
        const std::string ip = "198.18.0." + std::to_string(10 + i);
        const std::string mac = "00:0" + std::to_string(i);
        answer(ip.c_str(), i % 2 ? "01010101" : "1019901", mac.c_str());
    }
    const HeadlessWidgets w = win.widgets();
    EXPECT_EQ(w.type_filter_entries, (std::vector<std::string>{"ALL", "PANEL", "MONITOR"}));
    EXPECT_EQ(w.type_filter_choice, 0);
}

TEST_F(IntakeAddFound, AnswerWithoutAUsableIpIsDroppedInEveryMode) {
    win.add_range_row("198.18.0.10");
    win.set_range_box(true);
    workers.count = 1;
    workers.set(0, "198.18.0.10", "00:aa");
    const std::string long_ip = "198.18.0.10" + std::string(5000, '0');
    const char* bad_ips[] = {nullptr,        "",
                             "198.18.0",     "198.18.0.256",
                             "198.18.0.10 ", " 198.18.0.10",
                             "198.018.0.10", "host.example",
                             "http://x/",    "<b>198.18.0.10</b>",
                             long_ip.c_str()};
    const std::vector<DeviceRow> before = rows();
    for (int closed = 0; closed <= 1; ++closed) {
        win.flags().intake_closed = closed;
        win.flags().conflict_watch = closed;
        for (const char* ip : bad_ips) answer(ip, "1019901", "00:bb");
    }
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(win.record_tables().size(RecordTable::found), 0u);
    EXPECT_EQ(workers.flagged(), 0);
}

TEST_F(IntakeAddFound, ClosedIntakeWithoutRangeBoxChangesNoRow) {
    answer("198.18.0.10", "10001", "00:aa", "V1");
    const std::vector<DeviceRow> before = rows();
    close_intake(false);
    answer("198.18.0.10", "20000", "00:bb", "V2");
    answer("198.18.0.11", "20000", "00:cc", "V2");
    close_intake(true);
    answer("198.18.0.12", "20000", "00:dd", "V2");
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(win.record_tables().size(RecordTable::found), 1u);
    EXPECT_EQ(win.widgets().type_filter_entries, (std::vector<std::string>{"ALL", "CENTER"}));
}

// quillon-cli --device: the named devices are listed while the intake stays closed to answers.
TEST_F(IntakeAddFound, NamedDevicesAreListedWhileTheIntakeStaysClosed) {
    win.flags().close_intake();
    EXPECT_EQ(intake.add_named_device("198.18.0.20"), 0);
    EXPECT_EQ(intake.add_named_device("198.18.0.21"), 1);
    EXPECT_EQ(intake.add_named_device("198.18.0.20"), -1) << "listed once only";
    EXPECT_EQ(intake.add_named_device("not-an-address"), -1);
    answer("198.18.0.22", "20000", "00:dd", "V2");  // nobody asked: not listed
    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].cells[col_ip], "198.18.0.20");
    EXPECT_TRUE(r[0].ticked);
    EXPECT_EQ(r[0].cells[col_stat], "Ready");
    EXPECT_EQ(r[0].cells[col_mac], "");
    // Named, not answered: nothing tells the device's type.
    EXPECT_EQ(r[0].cells[col_type], "");
    EXPECT_EQ(r[1].cells[col_type], "");
    EXPECT_EQ(win.flags().intake_closed.load(), 1);
}

TEST_F(IntakeAddFound, ClosedIntakeWithRangeBoxRefreshesRowsAndRangeRecords) {
    win.set_range_box(true);
    close_intake(false);
    win.add_range_row("198.18.0.10");
    win.add_range_row("198.18.0.11");

    answer("198.18.0.10", "12345678901", "00:aa", "V9");

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
    EXPECT_EQ(range[0].at(3), "00:aa");
    EXPECT_EQ(range[0].at(4), "PERSON");
    EXPECT_EQ(range[1].at(3), "");
}

TEST_F(IntakeAddFound, ConflictMarksEveryWorkerOnTheAddressWithItsOwnLine) {
    close_intake(true);
    workers.count = 6;
    workers.set(0, "198.18.0.10", "AA");
    workers.set(1, "198.18.0.10", "BB");
    workers.set(2, "198.18.0.10", "");           // no MAC expected: nothing to compare
    workers.set(3, "198.18.0.11", "AA");         // another address
    workers.set(4, "198.18.0.10", "CC");         // the answering device itself
    workers.set(5, "198.18.0.10", "AA", false);  // slot of an ended worker

    answer("198.18.0.10", "1019901", "CC");

    const int expected[WorkerWatch::kMaxWorkers] = {1, 1, 0, 0, 0, 0};
    for (int i = 0; i < WorkerWatch::kMaxWorkers; ++i)
        EXPECT_EQ(workers.conflict[i].load(), expected[i]) << "worker " << i;
    const std::string text = report_text();
    EXPECT_EQ(conflict_lines(), 2) << text;
    EXPECT_EQ(count_of(text, "[USR] ipaddress conflict, IP:198.18.0.10 MAC:CC MAC2:AA"), 1);
    EXPECT_EQ(count_of(text, "[USR] ipaddress conflict, IP:198.18.0.10 MAC:CC MAC2:BB"), 1);
}

TEST_F(IntakeAddFound, ExpectedOrEmptyExpectedMacSetsNoFlag) {
    close_intake(true);
    workers.count = 2;
    workers.set(0, "198.18.0.10", "AA");
    workers.set(1, "198.18.0.20", "");
    answer("198.18.0.10", "1", "AA");
    answer("198.18.0.20", "1", "CC");
    answer("198.18.0.20", "1", "");
    EXPECT_EQ(workers.flagged(), 0);
    EXPECT_EQ(conflict_lines(), 0);
    // An answer without a MAC does not show that the expected device answered: it is a conflict,
    // so that no image goes to an address something else may claim.
    answer("198.18.0.10", "1", nullptr);
    EXPECT_EQ(workers.conflict[0].load(), 1);
    EXPECT_EQ(count_of(report_text(), "IP:198.18.0.10 MAC: MAC2:AA"), 1);
}

TEST_F(IntakeAddFound, ConflictWatchOnlyWhileIntakeIsClosedAndWatching) {
    workers.count = 1;
    workers.set(0, "198.18.0.10", "AA");
    close_intake(false);
    answer("198.18.0.10", "1", "CC");
    win.flags().intake_closed = 0;  // open: the answer is a listing, not a comparison
    win.flags().conflict_watch = 1;
    answer("198.18.0.10", "1", "CC");
    EXPECT_EQ(workers.flagged(), 0);
    EXPECT_EQ(conflict_lines(), 0);
    EXPECT_EQ(rows().size(), 1u);
}

TEST_F(IntakeAddFound, WorkerCountOutsideTheSlotsIsClamped) {
    close_intake(true);
    for (int i = 0; i < WorkerWatch::kMaxWorkers; ++i) workers.set(i, "198.18.0.10", "AA");
    workers.count = 1000;
    answer("198.18.0.10", "1", "CC");
    EXPECT_EQ(workers.queried, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(workers.flagged(), 10);

    workers.queried.clear();
    workers.count = -5;
    answer("198.18.0.10", "1", "CC");
    EXPECT_TRUE(workers.queried.empty());
}

TEST_F(IntakeAddFound, HostileTextsPassThroughAsPlainText) {
    const std::string big(64 * 1024, 'M');
    const std::string markup = "<script>alert(1)</script>&\"'";
    const std::string fmt = "%s%n%x%p%%";
    intake.add_found_device("198.18.0.10", markup.c_str(), big.c_str(), fmt.c_str(),
                            markup.c_str());
    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].cells[col_devid], markup);
    EXPECT_EQ(r[0].cells[col_mac], big);
    EXPECT_EQ(r[0].cells[col_version], fmt);
    EXPECT_EQ(r[0].cells[col_stat], markup);

    // In the report the texts are arguments, never a format, and text, never markup.
    close_intake(true);
    workers.count = 2;
    workers.set(0, "198.18.0.10", fmt);
    workers.set(1, "198.18.0.10", big);
    answer("198.18.0.10", "1", (markup + fmt).c_str());
    EXPECT_EQ(workers.flagged(), 2);
    const std::string text = report_text();
    EXPECT_EQ(conflict_lines(), 2);
    EXPECT_EQ(count_of(text, fmt), 3);  // MAC of both lines, MAC2 of the first
    EXPECT_EQ(text.find("<script>"), std::string::npos);
}

// The receive thread reports conflicts while the worker polls and clears its flag, as the
// conflict check does: the flag reaches the worker, and nothing races (run under TSan).
TEST_F(IntakeAddFound, ConflictReachesAWaitingWorker) {
    close_intake(true);
    workers.count = 1;
    workers.set(0, "198.18.0.10", "AA");

    std::atomic<bool> seen{false};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::thread worker([&] {
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            if (workers.conflict[0].exchange(0) == 1) seen = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread receiver([&] {
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            answer("198.18.0.10", "1019901", "CC");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    receiver.join();
    worker.join();
    EXPECT_TRUE(seen.load());
    EXPECT_GE(conflict_lines(), 1);
}

// ---- answers read together, and answers read after the search window closed ----

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

ReceivedAnswer received(const char* ip, const char* id, const char* mac, Clock::time_point at,
                        const char* version = "v") {
    ReceivedAnswer r;
    r.answer.ip = ip;
    r.answer.id = id;
    r.answer.mac = mac;
    r.answer.version = version;
    r.arrived = at;
    return r;
}

// Counts the view's notifications: answers read together reach it as one insertion.
class InsertCounter : public DeviceTableObserver {
public:
    void rows_inserted(int first, int last) override { inserts.push_back({first, last}); }
    std::vector<std::pair<int, int>> inserts;
};

TEST_F(IntakeAddFound, AnswersReadTogetherAreListedInOneInsertionNumberedAndWithoutDoubles) {
    answer("198.18.0.5", "10001", "00:05");  // a row already there
    InsertCounter counter;
    win.add_table_observer(&counter);
    const auto t = Clock::now();
    intake.add_found_devices({received("198.18.0.10", "1019901", "00:aa", t),
                              received("198.18.0.10", "1019901", "00:ab", t),  // same address
                              received("198.18.0.11", "20000", "00:aa", t),    // same MAC
                              received("198.18.0.12", "1019902", "00:05", t),  // MAC of the old row
                              received("198.18.0.13", "20000", "00:cc", t),
                              received("198.18.0.14", "1019903", "00:dd", t)},
                             "Ready");
    win.run([] {});  // the notifications come on the window thread
    win.remove_table_observer(&counter);

    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[1].cells[col_ip], "198.18.0.10");
    EXPECT_EQ(r[1].cells[col_mac], "00:aa");
    EXPECT_EQ(r[2].cells[col_ip], "198.18.0.13");
    EXPECT_EQ(r[3].cells[col_ip], "198.18.0.14");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r[i].cells[col_id], std::to_string(i + 1));
    ASSERT_EQ(counter.inserts.size(), 1u);
    EXPECT_EQ(counter.inserts[0], std::make_pair(1, 3));
    // Each type once in the filter; every new row saved at its own position.
    const std::vector<std::string> filter = win.widgets().type_filter_entries;
    EXPECT_EQ(std::count(filter.begin(), filter.end(), "PANEL"), 1);
    EXPECT_EQ(std::count(filter.begin(), filter.end(), "WALL"), 1);
    const std::vector<DeviceRecord> found = win.record_tables().copy(RecordTable::found);
    ASSERT_EQ(found.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(std::equal(r[i].cells.begin(), r[i].cells.end(), found[i].begin()));
    }
}

TEST_F(IntakeAddFound, AfterTheSearchWindowRanOutAnAnswerCountsByWhenItArrived) {
    WindowFlags& f = win.flags();
    f.open_search_window();
    const auto end = Clock::now();
    f.end_search_window(end);
    ASSERT_EQ(f.intake_closed.load(), 1);

    // Read after the end: the one that arrived before it is listed, the later one is not.
    intake.add_found_devices({received("198.18.0.10", "1", "00:aa", end - milliseconds(5)),
                              received("198.18.0.11", "1", "00:bb", end + milliseconds(5))},
                             "Ready");
    // No arrival time (read one at a time): the closed intake decides.
    answer("198.18.0.12", "1", "00:cc");
    std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].cells[col_ip], "198.18.0.10");

    // A new window: while it is open every answer counts; its end is the new limit.
    f.open_search_window();
    intake.add_found_devices({received("198.18.0.11", "1", "00:bb", end + milliseconds(5))},
                             "Ready");
    const auto end2 = Clock::now();
    f.end_search_window(end2);
    intake.add_found_devices({received("198.18.0.13", "1", "00:dd", end2),
                              received("198.18.0.14", "1", "00:ee", end2 + milliseconds(1))},
                             "Ready");
    r = rows();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[1].cells[col_ip], "198.18.0.11");
    EXPECT_EQ(r[2].cells[col_ip], "198.18.0.13");
}

TEST_F(IntakeAddFound, ACommandThatClosesTheIntakeTakesNoLateAnswer) {
    WindowFlags& f = win.flags();
    const auto early = Clock::now();
    // Closed by a command after the window ran out (CLEAN, START...).
    f.open_search_window();
    f.end_search_window(early + milliseconds(10));
    f.close_intake();
    intake.add_found_devices({received("198.18.0.10", "1", "00:aa", early)}, "Ready");
    // Closed by a command while the window was open: its later end reopens nothing.
    f.open_search_window();
    f.close_intake();
    f.end_search_window(early + milliseconds(10));
    intake.add_found_devices({received("198.18.0.11", "1", "00:bb", early)}, "Ready");
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(f.intake_closed.load(), 1);
}

TEST_F(IntakeAddFound, RowsWaitingInABatchAreListedBeforeALaterAnswerRefreshesRows) {
    WindowFlags& f = win.flags();
    f.open_search_window();
    const auto end = Clock::now();
    f.end_search_window(end);
    win.set_range_box(true);
    workers.count = 1;
    workers.set(0, "198.18.0.10", "00:aa");
    f.conflict_watch = 1;
    // The first came in time and is listed; the second came late, so it only refreshes the rows
    // of its address, and it must find the first one's row there.
    intake.add_found_devices(
        {received("198.18.0.10", "1019901", "00:aa", end - milliseconds(1), "V1"),
         received("198.18.0.10", "1019901", "00:ff", end + milliseconds(1), "V2")},
        "Ready");
    const std::vector<DeviceRow> r = rows();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].cells[col_version], "V2");
    EXPECT_EQ(r[0].cells[col_mac], "00:ff");
    // The late one was also compared with the worker's device.
    EXPECT_EQ(workers.flagged(), 1);
}

}  // namespace
}  // namespace quillon
