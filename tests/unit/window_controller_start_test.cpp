// SPDX-License-Identifier: Apache-2.0
// START: its checks in order, every refusal with what it has already changed, and what an
// accepted START hands to the engine.
#include "window_controller_fakes.h"

namespace quillon::test {
namespace {

class StartTest : public ControllerTest {
protected:
    void range_mode(const std::string& start, const std::string& end) {
        view.at(IDC_RANGE_BOX).checked = true;
        view.at(IDC_RANGE_START).text = start;
        view.at(IDC_RANGE_END).text = end;
    }
    // Nothing reached the engine and the window is still idle.
    void expect_refused() {
        EXPECT_EQ(engine.batches, 0);
        EXPECT_FALSE(engine.running());
        EXPECT_TRUE(view.is_enabled(IDC_START));
        EXPECT_EQ(view.text(IDC_CLEAN), "CLEAN");
    }
    void expect_flags_untouched() {
        EXPECT_EQ(flags.intake_closed.load(), 0);
        EXPECT_EQ(flags.conflict_watch.load(), 0);
    }
};

TEST_F(StartTest, AnAcceptedStartCopiesTheBatchSetsTheFlagsAndLocksTheWindow) {
    view.at(IDC_BOOT_PATH).text = "/img/boot.img";
    view.at(IDC_FW_PATH).text = "/img/reboot_app.img";
    ctl->mark_reboot_slots();
    view.at(IDC_THREADS).index = 3;
    range_mode("10.0.0.1", "254");
    ctl->on_start();

    ASSERT_EQ(engine.batches, 1);
    const BatchSettings& b = engine.last;
    EXPECT_EQ(b.url[0], "/img/boot.img");
    EXPECT_EQ(b.url[1], "");
    EXPECT_EQ(b.url[2], "");
    EXPECT_EQ(b.url[3], "/img/reboot_app.img");
    EXPECT_EQ(b.ip_begin, 0x0A000001u);
    EXPECT_EQ(b.ip_end, 254);
    EXPECT_EQ(b.ip_scan, 1);
    EXPECT_EQ(b.thread_num, 4);
    EXPECT_EQ((std::vector<int>(b.reboot_after, b.reboot_after + 4)),
              (std::vector<int>{0, 0, 0, 1}));
    EXPECT_TRUE(engine.running());
    EXPECT_EQ(flags.intake_closed.load(), 1);
    EXPECT_EQ(flags.conflict_watch.load(), 1);
    EXPECT_FALSE(view.is_enabled(IDC_START));
    EXPECT_EQ(view.text(IDC_CLEAN), "STOP");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_NE(device_log_text().find("[INFO] app_upgrade is ok !\n"), std::string::npos);
}

TEST_F(StartTest, ListModeStartsWithTheTickedRows) {
    choose_boot_image();
    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    ctl->on_start();
    ASSERT_EQ(engine.batches, 1);
    EXPECT_EQ(engine.last.ip_scan, 0);
    EXPECT_EQ(engine.last.thread_num, 2);  // the threads box at start-up
}

TEST_F(StartTest, TheRangeIsCheckedOnItsLastOctets) {
    choose_boot_image();
    struct Case {
        const char* start;
        const char* end;
        bool valid;
    };
    const Case cases[] = {
        {"10.0.0.0", "254", false},  // start octet 0
        {"10.0.0.1", "255", false},  // end beyond 254
        {"10.0.0.10", "9", false},   // start after end
        {"10.0.0.10", "", false},    // an empty end reads as 0
        {"10.0.0.1", "254", true},  {"10.0.0.7", "7", true},
        {"10.0.0.7", "9x", true},  // the leading digits count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " - " + c.end);
        engine.batches = 0;
        engine.running_flag = 0;
        ctl->enter_idle();
        view.messages.clear();
        range_mode(c.start, c.end);
        ctl->on_start();
        EXPECT_EQ(engine.batches, c.valid ? 1 : 0);
        EXPECT_EQ(view.messages.size(), c.valid ? 0u : 1u);
        if (!c.valid) {
            EXPECT_EQ(view.messages[0], "IP address is wrong, please set the interval");
        }
    }
}

TEST_F(StartTest, ABadRangeWithNothingTickedHasEmptiedTheListFirst) {
    choose_boot_image();
    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    flags.intake_closed = 0;
    port.set_check(0, false);
    port.add_range_row("10.0.0.9");
    port.set_check(1, false);
    range_mode("10.0.0.0", "254");
    ctl->on_start();

    expect_refused();
    EXPECT_EQ(view.messages,
              std::vector<std::string>{"IP address is wrong, please set the interval"});
    EXPECT_NE(device_log_text().find("[INFO] ip is err !\n"), std::string::npos);
    // Already changed: the list and the range records; not the found records, not the flags.
    EXPECT_EQ(port.row_count(), 0);
    EXPECT_TRUE(port.record_tables().copy(RecordTable::range).empty());
    EXPECT_EQ(port.record_tables().copy(RecordTable::found).size(), 1u);
    expect_flags_untouched();
}

TEST_F(StartTest, ABadRangeWithTickedRowsKeepsTheList) {
    choose_boot_image();
    port.add_range_row("10.0.0.9");
    port.set_check(0, true);
    range_mode("10.0.0.20", "10");
    ctl->on_start();
    expect_refused();
    EXPECT_EQ(port.row_count(), 1);
    EXPECT_EQ(port.record_tables().copy(RecordTable::range).size(), 1u);
}

TEST_F(StartTest, RangeModeWithTickedRowsKeepsThemForTheBatch) {
    choose_boot_image();
    port.add_range_row("10.0.0.9");
    port.set_check(0, true);
    range_mode("10.0.0.1", "20");
    ctl->on_start();
    ASSERT_EQ(engine.batches, 1);
    EXPECT_EQ(port.row_count(), 1);
}

TEST_F(StartTest, ListModeRefusalsChangeNoFlag) {
    choose_boot_image();
    ctl->on_start();  // empty list
    expect_refused();
    EXPECT_EQ(view.messages,
              std::vector<std::string>{
                  "No device selected. Please search for devices or select an IP range first"});
    expect_flags_untouched();

    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    flags.intake_closed = 0;
    port.set_check(0, false);
    view.messages.clear();
    ctl->on_start();  // nothing ticked
    expect_refused();
    EXPECT_EQ(view.messages,
              std::vector<std::string>{"No device selected. Please select a device first."});
    expect_flags_untouched();
    EXPECT_EQ(port.row_count(), 1);
    EXPECT_EQ(device_log_text().find("ip is err"), std::string::npos);
}

TEST_F(StartTest, StartWhileRunningIsRefusedAfterSettingTheFlags) {
    choose_boot_image();
    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    engine.running_flag = 1;  // a batch that the window did not start (STOP's window race)
    flags.intake_closed = 0;
    ctl->on_start();
    EXPECT_EQ(engine.batches, 0);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Upgrading, do not click!"});
    EXPECT_NE(device_log_text().find("[INFO] app_upgrade is running !\n"), std::string::npos);
    EXPECT_EQ(device_log_text().find("app_upgrade is ok"), std::string::npos);
    // Already changed: both flags.
    EXPECT_EQ(flags.intake_closed.load(), 1);
    EXPECT_EQ(flags.conflict_watch.load(), 1);
    EXPECT_TRUE(view.is_enabled(IDC_START));
}

TEST_F(StartTest, WithoutImagesItAsksForAPackageAndACancelEndsIt) {
    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    ctl->on_start();
    EXPECT_EQ(view.filters, std::vector<std::string>{T(TextId::zip_filter)});
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(engine.batches, 0);
    EXPECT_EQ(view.text(IDC_ZIP_PATH), "");  // the hint has gone with the import's emptying
    EXPECT_EQ(flags.conflict_watch.load(), 0);
}

TEST_F(StartTest, APackagePathThatImportsNothingStartsAgainFromTheTop) {
    // The chosen package does not exist: the import changes nothing, the field keeps the path,
    // and START goes round again, asking again, until the dialog is cancelled.
    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    view.files = {dir / "missing.zip"};
    ctl->on_start();
    EXPECT_EQ(view.filters.size(), 2u);
    EXPECT_EQ(engine.batches, 0);
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace quillon::test
