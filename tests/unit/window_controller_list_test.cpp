// SPDX-License-Identifier: Apache-2.0
// Sorting by a column, the type filter, the row actions and the hidden conflict test.
#include "support/headless_cells.h"
#include "window_controller_fakes.h"

namespace quillon::test {
namespace {

class ListTest : public ControllerTest {
protected:
    void add_three() {
        add_device("10.0.0.10", "AA:00:00:00:00:0b", "PANEL", "9.1");
        add_device("10.0.0.9", "aa:00:00:00:00:0A", "MONITOR", "10.2");
        add_device("10.0.0.100", "aa:00:00:00:00:0c", "PANEL", "");
    }
    void choose_type(const std::string& text) {
        auto& c = view.at(IDC_TYPE_FILTER);
        c.index = -1;
        for (std::size_t i = 0; i < c.entries.size(); ++i) {
            if (c.entries[i] == text) c.index = static_cast<int>(i);
        }
        ctl->on_type_filter();
    }
};

TEST_F(ListTest, ColumnClicksSortAndTurnTheDirection) {
    add_three();
    ctl->on_column_click(0);  // ID was the last sort: the first click sorts descending
    EXPECT_EQ(column(0), (std::vector<std::string>{"3", "2", "1"}));
    EXPECT_FALSE(ctl->sort_ascending());
    // The tags hold the positions the rows had before the sort.
    EXPECT_EQ((std::vector<int>{test::tag_of(port, 0), test::tag_of(port, 1),
                                test::tag_of(port, 2)}),
              (std::vector<int>{2, 1, 0}));
    ctl->on_column_click(0);
    EXPECT_EQ(column(0), (std::vector<std::string>{"1", "2", "3"}));

    ctl->on_column_click(1);  // numeric, not textual
    EXPECT_EQ(ctl->sort_column(), 1);
    EXPECT_TRUE(ctl->sort_ascending());
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.9", "10.0.0.10", "10.0.0.100"}));

    ctl->on_column_click(3);  // upper and lower case hexadecimal alike
    EXPECT_EQ(column(3), (std::vector<std::string>{"aa:00:00:00:00:0A", "AA:00:00:00:00:0b",
                                                   "aa:00:00:00:00:0c"}));

    ctl->on_column_click(9);  // textual: "10.2" before "9.1"
    EXPECT_EQ(column(9), (std::vector<std::string>{"", "10.2", "9.1"}));

    ctl->on_column_click(kColumnCount);  // no such column: the sort state stays
    EXPECT_EQ(ctl->sort_column(), 9);
}

TEST_F(ListTest, SortingIsRefusedDuringABatchButStillClosesTheIntake) {
    add_three();
    engine.running_flag = 1;
    flags.intake_closed = 0;
    ctl->on_column_click(1);
    EXPECT_EQ(flags.intake_closed.load(), 1);
    EXPECT_EQ(ctl->sort_column(), 0);
    EXPECT_EQ(column(0), (std::vector<std::string>{"1", "2", "3"}));
    // Stopping too: the engine has stopped, STOP is disabled.
    engine.running_flag = 0;
    view.at(IDC_CLEAN).enabled = false;
    ctl->on_column_click(1);
    EXPECT_EQ(ctl->sort_column(), 0);
}

TEST_F(ListTest, TheTypeFilterRebuildsFromTheRecordsWithTheirTicks) {
    add_three();
    view.at(IDC_TYPE_FILTER).entries = {"ALL", "PANEL", "MONITOR", "PERSON"};
    port.set_check(0, false);  // 10.0.0.10 unticked

    choose_type("PERSON");  // no such device: an empty list
    EXPECT_EQ(port.row_count(), 0);
    EXPECT_EQ(flags.intake_closed.load(), 1);

    choose_type("PANEL");  // IDs keep their record values: a gap
    EXPECT_EQ(column(0), (std::vector<std::string>{"1", "3"}));
    EXPECT_FALSE(port.get_check(0));
    EXPECT_TRUE(port.get_check(1));

    port.set_check(1, false);  // untick 10.0.0.100, go to another type and back
    choose_type("MONITOR");
    EXPECT_EQ(column(1), std::vector<std::string>{"10.0.0.9"});
    choose_type("ALL");
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.10", "10.0.0.9", "10.0.0.100"}));
    EXPECT_EQ((std::vector<bool>{port.get_check(0), port.get_check(1), port.get_check(2)}),
              (std::vector<bool>{false, true, false}));

    choose_type("none of them");  // no entry chosen: the list stays empty
    EXPECT_EQ(port.row_count(), 0);
}

TEST_F(ListTest, InRangeModeTheFilterUsesTheRangeRecords) {
    add_device("10.0.0.5", "aa:00:00:00:00:05", "PANEL");
    view.at(IDC_RANGE_BOX).checked = true;
    port.clear_rows();
    port.add_range_row("10.0.0.5");  // discovery saw it: PANEL
    port.add_range_row("10.0.0.6");  // not seen: no type
    view.at(IDC_TYPE_FILTER).entries = {"ALL", "PANEL"};
    choose_type("PANEL");
    EXPECT_EQ(column(1), std::vector<std::string>{"10.0.0.5"});
    choose_type("ALL");
    EXPECT_EQ(column(1), (std::vector<std::string>{"10.0.0.5", "10.0.0.6"}));
}

TEST_F(ListTest, TheFilterIsRefusedDuringABatch) {
    add_three();
    view.at(IDC_TYPE_FILTER).entries = {"ALL", "PERSON"};
    engine.running_flag = 1;
    choose_type("PERSON");
    EXPECT_EQ(port.row_count(), 3);
}

TEST_F(ListTest, RowActionsUseTheRowsAddress) {
    add_three();
    add_device("not-an-ip", "aa:00:00:00:00:0d", "PANEL");
    ctl->on_row_double_click(1);
    ctl->on_row_double_click(3);   // not a dotted address: nothing opened
    ctl->on_row_double_click(-1);  // no row
    EXPECT_EQ(view.urls, std::vector<std::string>{"http://10.0.0.9"});

    ctl->on_row_right_double_click(0);
    ctl->on_row_right_double_click(3);
    ctl->on_row_right_double_click(-1);
    EXPECT_EQ(view.pings, std::vector<std::string>{"10.0.0.10"});

    ctl->on_row_right_click(1);
    ctl->on_row_right_click(2);  // no version: IP and MAC only
    ctl->on_row_right_click(-1);
    ctl->on_row_right_click(99);
    EXPECT_EQ(view.clipboard,
              (std::vector<std::string>{"IP:10.0.0.9 MAC:aa:00:00:00:00:0A VER:10.2",
                                        "IP:10.0.0.100 MAC:aa:00:00:00:00:0c"}));
}

TEST_F(ListTest, TheConflictTestReportsOneWaitLater) {
    flags.intake_closed = 0;
    ctl->on_conflict_test();
    EXPECT_EQ(engine.probe_ip, WindowController::kConflictTestIp);
    EXPECT_EQ(engine.probe_mac, WindowController::kConflictTestMac);
    EXPECT_EQ(flags.intake_closed.load(), 1);
    EXPECT_EQ(flags.conflict_watch.load(), 1);
    ASSERT_EQ(discovery.searches.size(), 1u);
    EXPECT_EQ(discovery.searches[0].both, 0);
    EXPECT_EQ(discovery.searches[0].target, WindowController::kConflictTestIp);
    ASSERT_EQ(view.timers.size(), 1u);
    EXPECT_EQ(view.timers[0].first, timing().conflict_wait_step);
    EXPECT_EQ(ctl->conflict_checks(), 0);

    engine.conflict = true;  // discovery saw a second device on the address meanwhile
    view.timers[0].second();
    EXPECT_EQ(ctl->conflict_checks(), 1);
    EXPECT_EQ(view.messages,
              std::vector<std::string>{"Conflict ip: 198.18.0.250, mac: 02:00:c6:12:00:fa"});

    ctl->on_conflict_test();
    view.timers[1].second();  // no conflict this time
    EXPECT_EQ(ctl->conflict_checks(), 2);
    EXPECT_EQ(view.messages.size(), 1u);
}

}  // namespace
}  // namespace quillon::test
