// SPDX-License-Identifier: Apache-2.0
// The SUMMARY lines at the end of a batch: the counts line (every kind, kinds without a device
// left out, a fixed order), the lines of the devices that need attention (grouped by kind, list
// order within a kind), and the desktop's collector that writes them when a real batch ends,
// before the report is shown.
#include "engine/batch_outcomes.h"
#include "engine/observer_fan.h"
#include "engine/summary_lines.h"
#include "engine_driver_support.h"

namespace quillon::test {
namespace {

DeviceOutcome dev(const std::string& ip, OutcomeKind kind,
                  const std::string& mac = "02:00:00:00:00:01") {
    DeviceOutcome d;
    d.ip = ip;
    d.mac = mac;
    d.kind = kind;
    return d;
}

TEST(SummaryLines, EveryKindInTheFixedOrderWhateverTheListOrder) {
    std::vector<DeviceOutcome> list = {
        dev("10.0.0.6", OutcomeKind::not_started),
        dev("10.0.0.5", OutcomeKind::not_found),
        dev("10.0.0.4", OutcomeKind::not_back),
        dev("10.0.0.3", OutcomeKind::failed),
        dev("10.0.0.2", OutcomeKind::upgraded_unchecked),
        dev("10.0.0.1", OutcomeKind::upgraded_back),
        dev("10.0.0.7", OutcomeKind::upgraded_back),
        dev("10.0.0.8", OutcomeKind::back_old_version),
    };
    list[2].seconds = 300;
    list[3].failed_slot = 1;
    list[3].passes = 1;
    list[7].version = "V1.0";
    EXPECT_EQ(
        summary_lines(list),
        (std::vector<std::string>{
            "8 devices: 2 upgraded and back, 1 upgraded (come-back not checked), 1 failed, "
            "1 not back, 1 back with the old version, 1 not found, 1 not started",
            "failed: IP:10.0.0.3 MAC:02:00:00:00:00:01, the KERNEL image failed",
            "not back: IP:10.0.0.4 MAC:02:00:00:00:00:01, upgraded, but no answer within 300 s of its reboot",
            "back with the old version: IP:10.0.0.8 MAC:02:00:00:00:00:01, answered after its reboot "
            "with its old version V1.0",
            "not found: IP:10.0.0.5 MAC:02:00:00:00:00:01, no answer to the search: not upgraded",
            "not started: IP:10.0.0.6 MAC:02:00:00:00:00:01, the batch ended before it was begun",
        }));
}

TEST(SummaryLines, KindsWithoutADeviceAreLeftOutAndOneDeviceIsSingular) {
    EXPECT_EQ(summary_lines({dev("10.0.0.1", OutcomeKind::upgraded_back)}),
              std::vector<std::string>{"1 device: 1 upgraded and back"});
    EXPECT_EQ(summary_lines({dev("10.0.0.1", OutcomeKind::upgraded_unchecked),
                             dev("10.0.0.2", OutcomeKind::upgraded_unchecked)}),
              std::vector<std::string>{"2 devices: 2 upgraded (come-back not checked)"});
    const auto lines = summary_lines({dev("10.0.0.1", OutcomeKind::not_found)});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "1 device: 1 not found");
    // No batch device at all: nothing to sum up.
    EXPECT_TRUE(summary_lines({}).empty());
}

TEST(SummaryLines, DevicesOfOneKindKeepTheListOrderAndFailuresComeFirst) {
    std::vector<DeviceOutcome> list = {
        dev("10.0.0.9", OutcomeKind::not_started),   dev("10.0.0.2", OutcomeKind::failed),
        dev("10.0.0.8", OutcomeKind::not_back),      dev("10.0.0.1", OutcomeKind::failed),
        dev("10.0.0.3", OutcomeKind::upgraded_back),
    };
    const auto lines = summary_lines(list);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "5 devices: 1 upgraded and back, 2 failed, 1 not back, 1 not started");
    EXPECT_EQ(lines[1].rfind("failed: IP:10.0.0.2 ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("failed: IP:10.0.0.1 ", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("not back: IP:10.0.0.8 ", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4].rfind("not started: IP:10.0.0.9 ", 0), 0u) << lines[4];
}

TEST(SummaryLines, EmptyMacNamesPassesAndUnknownDetails) {
    DeviceOutcome a = dev("10.0.0.1", OutcomeKind::failed, "");
    a.passes = 3;  // the slot is not known
    DeviceOutcome b = dev("10.0.0.2", OutcomeKind::not_found, "");
    b.name = "Block B, door 3";
    DeviceOutcome c = dev("10.0.0.3", OutcomeKind::not_back);  // the limit is not known
    DeviceOutcome d = dev("10.0.0.4", OutcomeKind::failed);
    d.failed_slot = 3;
    d.passes = 2;
    const auto lines = summary_lines({a, b, c, d});
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "4 devices: 2 failed, 1 not back, 1 not found",
            "failed: IP:10.0.0.1 MAC:-, the upgrade failed (tried in 3 passes)",
            "failed: IP:10.0.0.4 MAC:02:00:00:00:00:01, the FW image failed (tried in 2 passes)",
            "not back: IP:10.0.0.3 MAC:02:00:00:00:00:01, upgraded, but no answer after its reboot",
            "not found: IP:10.0.0.2 MAC:- \"Block B, door 3\", no answer to the search: not upgraded",
        }));
}

TEST(SummaryLines, TheFailedImageIsTheFirstLoadedOneThatDidNotFinish) {
    EXPECT_EQ(failed_slot_of(0b1010, 0b0000), 1);
    EXPECT_EQ(failed_slot_of(0b1010, 0b0010), 3);
    EXPECT_EQ(failed_slot_of(0b1111, 0b0111), 3);
    EXPECT_EQ(failed_slot_of(0b0110, 0b0110), -1);
    EXPECT_EQ(failed_slot_of(0, 0), -1);
}

TEST(SummaryLines, WrittenWithTheSummaryTagAndEscapedForTheReport) {
    TempDir dir;
    {
        LogFile report;
        report.Open(dir / "r.html");
        DeviceOutcome d = dev("10.0.0.1", OutcomeKind::not_found);
        d.name = "<b>door</b> & co";
        write_summary_lines(report, {d});
    }
    const auto lines = lines_of(read_file(dir / "r.html"));
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& l : lines) {
        EXPECT_EQ(l.compare(0, 6, "<pre>["), 0) << l;
        EXPECT_EQ(l.compare(25, 12, "] [SUMMARY] "), 0) << l;
    }
    EXPECT_EQ(lines[1].substr(37),
              "not found: IP:10.0.0.1 MAC:02:00:00:00:00:01 &quot;&lt;b&gt;door&lt;/b&gt; &amp; "
              "co&quot;, no answer to the search: not upgraded</pre>");
}

// The collector on its own: what the driver and the come-back watcher report.
TEST(BatchOutcomesCollector, ComeBackResultsDecideBetweenBackOldVersionNotBackAndNotChecked) {
    TempDir dir;
    LogFile report;
    report.Open(dir / "r.html");
    BatchOutcomes c(report);
    for (int row = 0; row < 5; ++row) {
        DeviceResult r;
        r.row = row;
        r.ip = "10.0.0." + std::to_string(row + 1);
        r.mac = "aa";
        r.success = true;
        r.slots_done = 0b1000;
        c.device_ended(r);
    }
    auto back = [&](int row, bool checked, bool came_back, int secs, const char* after = "") {
        ComeBackResult b;
        b.row = row;
        b.checked = checked;
        b.came_back = came_back;
        b.seconds = secs;
        b.version_before = "V1";
        b.version_after = after;
        c.device_came_back(b);
    };
    back(0, true, true, 12, "V2");
    back(1, true, false, 60);
    back(2, false, false, 7);  // STOP ended the wait
    back(4, true, true, 9, "V1");
    c.device_ended(DeviceResult{0, 0, 5, false, true, "10.0.0.6", "aa", 0b1000, {}});
    ComeBackResult silent_version;  // no version before or after: nothing to compare
    silent_version.row = 5;
    silent_version.checked = silent_version.came_back = true;
    c.device_came_back(silent_version);
    back(9, true, false, 60);  // no such device of the batch: nothing added
    const auto out = c.outcomes();
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[0].kind, OutcomeKind::upgraded_back);
    EXPECT_EQ(out[1].kind, OutcomeKind::not_back);
    EXPECT_EQ(out[1].seconds, 60);
    EXPECT_EQ(out[2].kind, OutcomeKind::upgraded_unchecked);
    EXPECT_EQ(out[3].kind, OutcomeKind::upgraded_unchecked);  // the check was off
    EXPECT_EQ(out[4].kind, OutcomeKind::back_old_version);
    EXPECT_EQ(out[4].version, "V1");
    EXPECT_EQ(out[5].kind, OutcomeKind::upgraded_back);
    c.batch_ended(BatchEnded{});
    EXPECT_EQ(lines_of(read_file(dir / "r.html")).size(), 3u);
}

// A real batch behind the headless window: one device fails, a stop after it leaves two never
// begun. The lines are in the report when it is shown, after every device line.
using BatchOutcomesDriver = DriverTest;

// Asks for the graceful stop (the running flag, as STOP does) once a given row has ended.
class StopAfterRow : public BatchObserver {
public:
    StopAfterRow(UpgradeEngine& e, int row) : engine_(e), row_(row) {}
    void device_ended(const DeviceResult& r) override {
        if (r.row == row_) engine_.request_stop();
    }

private:
    UpgradeEngine& engine_;
    int row_;
};

TEST_F(BatchOutcomesDriver, ARealBatchEndsItsReportWithTheSummaryBeforeTheReportIsShown) {
    std::vector<std::string> addr;
    for (int i = 0; i < 5; ++i) addr.push_back("127.0.0." + std::to_string(110 + i));
    make_fleet(addr);
    images({700, 900});
    add_row(addr[0], "02:00:00:00:00:a0");
    add_row(addr[1], "");  // an answer without a MAC
    add_row(addr[2], "02:00:00:00:00:a2");
    add_row(addr[3], "02:00:00:00:00:a3");
    add_row(addr[4], "02:00:00:00:00:a4");
    window.set_check(2, false);  // not chosen: not part of the batch
    fleet->set(addr[1], {0, true});

    BatchOutcomes outcomes(report);
    StopAfterRow stop_after(engine, 1);
    ObserverFan fan;
    fan.add(&observer);
    fan.add(&outcomes);
    fan.add(&stop_after);
    engine.m_observer = &fan;
    std::vector<std::string> at_show;
    window.set_report_handler([&] { at_show = report_lines(); });
    // One worker: rows 0 and 1 go, then the stop; rows 3 and 4 are never begun.
    ASSERT_TRUE(start(1));
    ASSERT_TRUE(wait_batch());
    ASSERT_EQ(observer.results().size(), 2u);

    const std::vector<std::string> want = {
        "[SEARCH] upgrade success: IP:127.0.0.110 MAC:02:00:00:00:00:a0</pre>",
        "[SEARCH] upgrade failure: IP:127.0.0.111 MAC:</pre>",
        "[SUMMARY] 4 devices: 1 upgraded (come-back not checked), 1 failed, 2 not started</pre>",
        "[SUMMARY] failed: IP:127.0.0.111 MAC:-, the BOOT image failed</pre>",
        "[SUMMARY] not started: IP:127.0.0.113 MAC:02:00:00:00:00:a3, the batch ended before it was begun</pre>",
        "[SUMMARY] not started: IP:127.0.0.114 MAC:02:00:00:00:00:a4, the batch ended before it was begun</pre>",
    };
    EXPECT_EQ(at_show, want) << "the report shown at the end of the batch";
    EXPECT_EQ(report_lines(), want) << "nothing written after the report was shown";
    EXPECT_EQ(outcomes.outcomes().size(), 4u);
}

}  // namespace
}  // namespace quillon::test
