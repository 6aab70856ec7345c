// SPDX-License-Identifier: Apache-2.0
// The batch driver in list mode: workers and their rows, passes and auto-retry, the graceful
// stop, the report lines, the saved ticks. Devices are fake services on 127.0.0.x.
#include "discovery/intake.h"
#include "support/debug_lines.h"
#include "engine/engine_worker_watch.h"
#include "engine_driver_support.h"

namespace quillon::test {
namespace {

using DriverList = DriverTest;

TEST_F(DriverList, ThreeRowsAndFiveWorkersStartThreeWorkersOneRowEach) {
    const auto addr = ips(21, 3);
    make_fleet(addr);
    images({3000});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    fleet->hold();
    test::DebugLines debug_lines;
    ASSERT_TRUE(start(5));
    ASSERT_TRUE(wait_until([&] { return fleet->in_hand() == 3; }, 20s));
    // Every started worker is visible to the conflict watch while it runs; no others exist.
    for (int w = 0; w < kWorkers; ++w) EXPECT_EQ(engine.m_thread_live[w].load(), w < 3) << w;
    std::string ip, mac;
    EXPECT_TRUE(engine.watched_device(1, ip, mac));
    EXPECT_EQ(ip, addr[1]);
    EXPECT_EQ(mac, mac_of(addr[1]));
    EXPECT_FALSE(engine.watched_device(3, ip, mac));
    fleet->release();
    ASSERT_TRUE(wait_batch());
    const std::string out = debug_lines.take();

    EXPECT_EQ(count_of(out, "process thread 3\n"), 1);
    for (int w = 0; w < 3; ++w)
        EXPECT_EQ(observer.ips_of_worker(w), std::vector<std::string>{addr[std::size_t(w)]}) << w;
    for (int w = 0; w < kWorkers; ++w) EXPECT_FALSE(engine.m_thread_live[w]) << w;
    EXPECT_EQ(widgets().counter, "(  3/3  )");
    EXPECT_EQ(widgets().batch_bar, 100);
}

TEST_F(DriverList, RowsAreDealtToTheWorkersInTurnAndEveryTickedRowIsDone) {
    const auto addr = ips(30, 10);
    make_fleet(addr);
    images({2000});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    // An unticked row takes no part and keeps tag -1.
    window.set_check(4, false);
    ASSERT_TRUE(start(3));
    ASSERT_TRUE(wait_batch());

    // Ticked rows 0,1,2,3,5,6,... go to workers 0,1,2,0,1,2,...
    EXPECT_EQ(observer.ips_of_worker(0), (std::vector<std::string>{addr[0], addr[3], addr[7]}));
    EXPECT_EQ(observer.ips_of_worker(1), (std::vector<std::string>{addr[1], addr[5], addr[8]}));
    EXPECT_EQ(observer.ips_of_worker(2), (std::vector<std::string>{addr[2], addr[6], addr[9]}));
    EXPECT_EQ(row(4).tag, -1);
    EXPECT_EQ(fleet->connections(addr[4]), 0);
    EXPECT_EQ(row(4).cells[col_stat], T(TextId::st_ready));
    for (int r : {0, 1, 2, 3, 5, 6, 7, 8, 9}) {
        EXPECT_FALSE(row(r).ticked) << r;
        EXPECT_EQ(row(r).cells[col_stat], "success") << r;
    }
    EXPECT_EQ(widgets().counter, "(  9/9  )");
}

TEST_F(DriverList, EveryImageArrivesWholeAndOnlyTheLastAsksForTheReboot) {
    const auto addr = ips(40, 2);
    make_fleet(addr);
    images({5000, 70000});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(start(2));
    ASSERT_TRUE(wait_batch());
    const std::string err = testing::internal::GetCapturedStderr();
    // A device records a connection once the tool has closed it, which may come after the end
    // of the batch on a busy machine.
    ASSERT_TRUE(wait_until([&] { return fleet->ended() == 4; }, 20s));

    const uint32_t d0 = uint32_t(::crc32(0, pattern(5000, 1).data(), 5000));
    const uint32_t d1 = uint32_t(::crc32(0, pattern(70000, 2).data(), 70000));
    for (auto& ip : addr) {
        const auto got = fleet->received(ip);
        ASSERT_EQ(got.size(), 2u) << ip;
        EXPECT_EQ(got[0].digest, d0);
        EXPECT_EQ(got[0].reboot_records, 0);
        EXPECT_EQ(got[1].digest, d1);
        EXPECT_EQ(got[1].bytes, 70000u);
        EXPECT_EQ(got[1].reboot_records, 1);
    }
    // The console line per image goes to standard error, never to the debug log.
    EXPECT_EQ(count_of(err, "m_need_reboot[0]= 0\n"), 2);
    EXPECT_EQ(count_of(err, "m_need_reboot[1]= 0\n"), 2);
    for (auto& r : observer.results()) EXPECT_EQ(r.slots_done, 3u);
}

TEST_F(DriverList, AutoRetryDealsOnlyTheFailedRowsUntilTheySucceed) {
    const auto addr = ips(50, 5);
    make_fleet(addr);
    images({1000});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    // Each fails all three attempts of its image in the first pass, then succeeds.
    fleet->set(addr[1], {3, false});
    fleet->set(addr[3], {3, false});
    ASSERT_TRUE(start(2, true));
    ASSERT_TRUE(wait_batch());

    ASSERT_EQ(observer.passes().size(), 2u);
    EXPECT_EQ(observer.passes()[1].total, 2);
    EXPECT_EQ(observer.ips_of_pass(0), addr);
    EXPECT_EQ(observer.ips_of_pass(1), (std::vector<std::string>{addr[1], addr[3]}));
    for (auto& r : observer.results())
        EXPECT_EQ(r.success, !(r.pass == 0 && (r.ip == addr[1] || r.ip == addr[3])));
    for (int r = 0; r < 5; ++r) EXPECT_FALSE(row(r).ticked);
    EXPECT_EQ(fleet->connections(addr[1]), 4);
    // The counter counts the devices of the pass under way.
    EXPECT_EQ(widgets().counter, "(  2/2  )");
    EXPECT_EQ(widgets().messages.back(), "The bulk upgrade process stop !");
}

TEST_F(DriverList, AutoRetryEndsAfterTenPassesInAll) {
    const auto addr = ips(60, 3);
    make_fleet(addr);
    images({500});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    fleet->set(addr[2], {0, true});
    ASSERT_TRUE(start(2, true));
    ASSERT_TRUE(wait_batch());

    ASSERT_EQ(observer.passes().size(), 10u);
    for (int p = 1; p < 10; ++p)
        EXPECT_EQ(observer.ips_of_pass(p), std::vector<std::string>{addr[2]}) << p;
    EXPECT_EQ(fleet->connections(addr[2]), 10 * 3);  // three attempts in every pass
    EXPECT_TRUE(row(2).ticked);
    EXPECT_EQ(row(2).cells[col_stat], "failure");
}

TEST_F(DriverList, WithoutAutoRetryOnePassWhateverFails) {
    const auto addr = ips(70, 5);
    make_fleet(addr);
    images({800});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    fleet->set(addr[0], {0, true});
    fleet->set(addr[4], {0, true});
    ASSERT_TRUE(start(2, false));
    ASSERT_TRUE(wait_batch());

    EXPECT_EQ(observer.passes().size(), 1u);
    EXPECT_EQ(observer.results().size(), 5u);
    EXPECT_TRUE(row(0).ticked);
    EXPECT_TRUE(row(4).ticked);
    EXPECT_FALSE(row(2).ticked);
    EXPECT_EQ(row(0).cells[col_stat], "failure");
    EXPECT_EQ(row(2).cells[col_stat], "success");
    EXPECT_EQ(fleet->connections(addr[0]), 3);  // m_try_count + 1 attempts of the one image
}

// STOP (or the command line's Ctrl-C) before the driver took the batch: nothing is begun, and
// the window still comes back to idle instead of waiting for an end that never comes.
TEST_F(DriverList, AStartStoppedBeforeTheDriverTookItEndsAsAStoppedBatch) {
    const auto addr = ips(130, 2);
    fleet = std::make_unique<FakeFleet>(addr);
    ASSERT_TRUE(fleet->ok());
    engine.m_port = fleet->port();
    images({600});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    ASSERT_TRUE(start(2, false, /*wake_driver=*/true));
    stop();
    engine.start_driver();  // only now looks at the flags
    ASSERT_TRUE(wait_batch(5s)) << "the window never came back to idle";
    EXPECT_EQ(fleet->connections(addr[0]) + fleet->connections(addr[1]), 0);
    EXPECT_TRUE(row(0).ticked);
    EXPECT_TRUE(row(1).ticked);
    EXPECT_FALSE(engine.m_running.load());
    EXPECT_TRUE(observer.abandoned.load()) << "the front end is told: nothing was loaded or begun";
    EXPECT_TRUE(observer.passes().empty());

    // The next START runs as usual.
    ASSERT_TRUE(start(2, false, true));
    ASSERT_TRUE(wait_batch());
    EXPECT_EQ(fleet->connections(addr[0]), 1);
    EXPECT_FALSE(row(0).ticked);
}

TEST_F(DriverList, GracefulStopFinishesTheDevicesInHandAndBeginsNoOther) {
    const auto addr = ips(80, 6);
    make_fleet(addr);
    images({1000});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    fleet->set(addr[0], {0, true});  // would call for a retry pass
    fleet->hold();
    ASSERT_TRUE(start(2, true));
    ASSERT_TRUE(wait_until([&] { return fleet->in_hand() == 2; }, 20s));
    stop();
    fleet->release();
    ASSERT_TRUE(wait_batch());

    // The two in hand ended (row 0 after all its attempts); nothing else was begun.
    EXPECT_EQ(observer.ips_of_pass(0), (std::vector<std::string>{addr[0], addr[1]}));
    EXPECT_EQ(observer.passes().size(), 1u);
    for (std::size_t i = 2; i < addr.size(); ++i) EXPECT_EQ(fleet->connections(addr[i]), 0) << i;
    for (int r = 2; r < 6; ++r) {
        EXPECT_TRUE(row(r).ticked) << r;
        EXPECT_EQ(row(r).cells[col_stat], T(TextId::st_ready)) << r;
    }
    EXPECT_EQ(widgets().counter, "(  2/6  )");
    EXPECT_EQ(widgets().messages, std::vector<std::string>{"The bulk upgrade process terminate !"});
    EXPECT_EQ(reports_shown, 1);
    EXPECT_TRUE(widgets().stop_enabled);  // enter_idle gave CLEAN back
    EXPECT_EQ(engine.m_running, 0);
}

TEST_F(DriverList, ReportLinesAndSavedTicks) {
    const auto addr = ips(90, 2);
    make_fleet(addr);
    images({600});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    fleet->set(addr[1], {0, true});
    ASSERT_TRUE(start(1));
    ASSERT_TRUE(wait_batch());

    EXPECT_EQ(report_lines(),
              (std::vector<std::string>{
                  "[SEARCH] upgrade success: IP:127.0.0.90 MAC:02:00:00:00:00:90</pre>",
                  "[SEARCH] upgrade failure: IP:127.0.0.91 MAC:02:00:00:00:00:91</pre>",
              }));
    const auto found = window.record_tables().copy(RecordTable::found);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0][kRecordTickText], "FLASE");
    EXPECT_EQ(found[1][kRecordTickText], "TRUE");
    EXPECT_EQ(window.record_tables().size(RecordTable::range), 0u);
    // Start time, elapsed time and the state of the row.
    const DeviceRow r0 = row(0);
    EXPECT_NE(r0.cells[col_begin], "2024-05-01 09:03:07");
    EXPECT_EQ(r0.cells[col_begin].size(), 19u);
    EXPECT_EQ(r0.cells[col_elapsed], "0 s");
    EXPECT_EQ(reports_shown, 1);
}

// A sort (or a type filter) moves rows away from their records: the tick saved at a device's
// end belongs to that device's record, not to the record at the row's position.
TEST_F(DriverList, SavedTicksFollowTheDeviceAfterTheRowsWereReordered) {
    const auto addr = ips(93, 3);
    make_fleet(addr);
    images({600});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    window.device_table().stable_sort_rows(
        [](const DeviceRow& a, const DeviceRow& b) { return a.cells[col_ip] > b.cells[col_ip]; });
    ASSERT_EQ(row(0).cells[col_ip], addr[2]);
    window.set_check(1, false);      // the middle device is left out of this batch
    fleet->set(addr[0], {0, true});  // the device now in the last row fails
    ASSERT_TRUE(start(1));
    ASSERT_TRUE(wait_batch());

    const auto found = window.record_tables().copy(RecordTable::found);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0][col_ip], addr[0]);
    EXPECT_EQ(found[0][kRecordTickText], "TRUE") << "the failed device";
    EXPECT_EQ(found[1][kRecordTickText], "TRUE") << "left out: as it was saved";
    EXPECT_EQ(found[2][kRecordTickText], "FLASE") << "the device that succeeded";
}

TEST_F(DriverList, TheRangeOptionWithTickedRowsRunsListMode) {
    const auto addr = ips(100, 3);
    make_fleet(addr);
    images({600});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    window.set_check(1, false);
    // The range names other addresses; with rows in the list they are not scanned.
    ASSERT_TRUE(start_range("127.0.0.200", 210, 4));
    ASSERT_TRUE(wait_batch());

    ASSERT_EQ(observer.passes().size(), 1u);
    EXPECT_FALSE(observer.passes()[0].range);
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(observer.ips_of_pass(0), (std::vector<std::string>{addr[0], addr[2]}));
    for (auto& l : report_lines()) EXPECT_EQ(l.rfind("[SEARCH] upgrade success: IP:", 0), 0u) << l;
    // With the range option the range records take the ticks (none exist here), the found
    // records keep theirs.
    const auto found = window.record_tables().copy(RecordTable::found);
    EXPECT_EQ(found[0][kRecordTickText], "TRUE");
}

TEST_F(DriverList, ASecondMacAnsweringForTheAddressFailsTheDeviceBeforeAnythingIsSent) {
    const auto addr = ips(120, 2);
    make_fleet(addr);
    images({900});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    // The intake wired to the engine, as the programs do; every directed search to .121 is
    // answered by the device and by a second one with another MAC.
    EngineWorkerWatch watch(engine);
    DeviceIntake intake(window, watch);
    search.on_search = [&] {
        const std::string target = search.calls.back().second;
        intake.add_found_device(target.c_str(), "1019901", mac_of(target).c_str(), "1.0", nullptr);
        if (target == addr[1])
            intake.add_found_device(target.c_str(), "1019901", "06:00:00:00:00:99", "1.0", nullptr);
    };
    ASSERT_TRUE(start(2));
    ASSERT_TRUE(wait_batch());

    EXPECT_EQ(fleet->connections(addr[0]), 1);
    EXPECT_EQ(fleet->connections(addr[1]), 0);  // no attempt got past the check
    EXPECT_FALSE(row(0).ticked);
    EXPECT_TRUE(row(1).ticked);
    const std::string report = read_file(dir / "upgrade_user.html");
    EXPECT_EQ(
        count_of(
            report,
            "[USR] ipaddress conflict, IP:127.0.0.121 MAC:06:00:00:00:00:99 MAC2:02:00:00:00:00:121</pre>"),
        3);
    EXPECT_EQ(
        count_of(
            report,
            "[USR] upgrade error: ipaddr conflict, IP:127.0.0.121 MAC:02:00:00:00:00:121</pre>"),
        3);
    EXPECT_EQ(count_of(report,
                       "[SEARCH] upgrade failure: IP:127.0.0.121 MAC:02:00:00:00:00:121</pre>"),
              1);
    EXPECT_EQ(count_of(report,
                       "[SEARCH] upgrade success: IP:127.0.0.120 MAC:02:00:00:00:00:120</pre>"),
              1);
}

// A conflicting answer that came after the worker's last check belongs to the address it was
// sent for: the worker's next device starts without it.
TEST_F(DriverList, AConflictRaisedForTheLastAddressIsNotChargedToTheNextDevice) {
    const auto addr = ips(125, 1);
    make_fleet(addr);
    images({600});
    add_row(addr[0], mac_of(addr[0]));
    engine.set_cur_device(0, "127.0.0.124", "02:00:00:00:00:124");
    engine.flag_conflict(0);  // raised for .124 after its check
    ASSERT_TRUE(start(1));
    ASSERT_TRUE(wait_batch());

    EXPECT_EQ(fleet->connections(addr[0]), 1);
    EXPECT_FALSE(row(0).ticked);
    const std::string report = read_file(dir / "upgrade_user.html");
    EXPECT_EQ(count_of(report, "ipaddr conflict"), 0) << report;
    EXPECT_EQ(count_of(report, "[SEARCH] upgrade success: IP:127.0.0.125 "), 1) << report;

    // For the same address the flag stays: it is that address's conflict.
    engine.set_cur_device(0, "127.0.0.125", "02:00:00:00:00:125");
    engine.flag_conflict(0);
    engine.set_cur_device(0, "127.0.0.125", "02:00:00:00:00:125");
    EXPECT_EQ(engine.m_ip_conflict[0].load(), 1);

    // The intake saw the worker on .125, then the worker took .126 before the flag was raised.
    engine.set_cur_device(0, "127.0.0.126", "02:00:00:00:00:126");
    engine.flag_conflict(0, "127.0.0.125");
    EXPECT_EQ(engine.m_ip_conflict[0].load(), 0);
    engine.flag_conflict(0, "127.0.0.126");
    EXPECT_EQ(engine.m_ip_conflict[0].load(), 1);
}

}  // namespace
}  // namespace quillon::test
