// SPDX-License-Identifier: Apache-2.0
// The window's four states (Idle, search window, Running, Stopping), the controls each enables,
// CLEAN/STOP, EXIT and the commands around them, without a toolkit.
#include "window_controller_fakes.h"

namespace quillon::test {
namespace {

// Controls of the state table that a batch locks.
const int kLocked[] = {IDC_START,      IDC_SEARCH,  IDC_TYPE_FILTER, IDC_RANGE_BOX,
                       IDC_SELECT_ALL, IDC_THREADS, IDC_AUTO_RETRY,  IDC_ADAPTER};

class StatesTest : public ControllerTest {
protected:
    void expect_idle(bool search_on) {
        for (int id : kLocked) {
            EXPECT_EQ(view.is_enabled(id), id == IDC_SEARCH ? search_on : true) << "control " << id;
        }
        EXPECT_TRUE(view.is_enabled(IDC_CLEAN));
        EXPECT_EQ(view.text(IDC_CLEAN), "CLEAN");
        EXPECT_TRUE(view.is_enabled(IDC_EXIT));
        EXPECT_TRUE(view.is_enabled(IDC_WORKER_VIEW));
        EXPECT_FALSE(ctl->batch_in_progress());
    }
    void start_list_batch() {
        choose_boot_image();
        add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
        ctl->on_start();
        ASSERT_TRUE(engine.running());
    }
    bool wait_for_search_window_end() {
        return wait_until([&] { return view.serve_posted() > 0; }, std::chrono::seconds(10));
    }
};

TEST_F(StatesTest, IdleSearchWindowRunningStoppingAndBackToIdle) {
    // Idle.
    expect_idle(true);

    // Search window: only SEARCH goes off, the intake opens, and both come back at its end.
    ctl->start_search_window();
    expect_idle(false);
    EXPECT_EQ(flags.intake_closed.load(), 0);
    ASSERT_TRUE(wait_for_search_window_end());
    expect_idle(true);
    EXPECT_EQ(flags.intake_closed.load(), 1);
    EXPECT_EQ(view.search_windows_ended, 1);

    // Running: the batch locks its controls; STOP is usable; the range fields stay as they were.
    view.at(IDC_RANGE_START).enabled = false;
    start_list_batch();
    for (int id : kLocked) EXPECT_FALSE(view.is_enabled(id)) << "control " << id;
    EXPECT_TRUE(view.is_enabled(IDC_CLEAN));
    EXPECT_EQ(view.text(IDC_CLEAN), "STOP");
    EXPECT_TRUE(view.is_enabled(IDC_EXIT));
    EXPECT_TRUE(view.is_enabled(IDC_WORKER_VIEW));
    EXPECT_FALSE(view.is_enabled(IDC_RANGE_START));
    EXPECT_TRUE(ctl->batch_in_progress());
    EXPECT_TRUE(ctl->is_stop_enabled());

    // Stopping: STOP answered Yes stops the engine and disables the button.
    view.answers = {true};
    ctl->on_clean();
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0], T(TextId::ask_stop_after));
    EXPECT_EQ(engine.stops, 1);
    EXPECT_FALSE(engine.running());
    EXPECT_FALSE(view.is_enabled(IDC_CLEAN));
    EXPECT_EQ(view.text(IDC_CLEAN), "STOP");
    EXPECT_FALSE(ctl->is_stop_enabled());
    EXPECT_TRUE(ctl->batch_in_progress());  // the workers are still finishing their devices

    // The end of the batch: every idle control is usable again.
    ctl->enter_idle();
    expect_idle(true);
}

TEST_F(StatesTest, StopAnsweredNoOrTooLateChangesNothing) {
    start_list_batch();
    ctl->on_clean();  // No
    EXPECT_TRUE(engine.running());
    EXPECT_TRUE(view.is_enabled(IDC_CLEAN));
    EXPECT_EQ(engine.stops, 0);

    // The batch ends while the question is open: a late Yes leaves the idle window idle.
    view.answers = {true};
    view.while_asking = [&] {
        engine.running_flag = 0;
        ctl->enter_idle();
    };
    ctl->on_clean();
    EXPECT_EQ(engine.stops, 0);
    expect_idle(true);
}

TEST_F(StatesTest, ASearchWindowEndingDuringABatchLeavesSearchOff) {
    ctl->start_search_window();
    start_list_batch();
    ASSERT_TRUE(wait_for_search_window_end());
    EXPECT_FALSE(view.is_enabled(IDC_SEARCH));
    EXPECT_EQ(view.search_windows_ended, 1);
    // Stopping counts as a batch too.
    view.answers = {true};
    ctl->on_clean();
    ctl->start_search_window();
    ASSERT_TRUE(wait_for_search_window_end());
    EXPECT_FALSE(view.is_enabled(IDC_SEARCH));
}

TEST_F(StatesTest, CleanWhileIdleEmptiesTheListAndBothRecordTables) {
    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    port.add_range_row("10.0.0.9");
    flags.intake_closed = 0;
    ctl->on_clean();
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(port.row_count(), 0);
    EXPECT_EQ(flags.intake_closed.load(), 1);
    EXPECT_TRUE(port.record_tables().copy(RecordTable::found).empty());
    EXPECT_TRUE(port.record_tables().copy(RecordTable::range).empty());
}

TEST_F(StatesTest, ExitAsksOnlyDuringABatch) {
    // Idle: no question.
    EXPECT_TRUE(ctl->confirm_exit());
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(view.program_endings, std::vector<bool>{false});
    // Once accepted, a second close goes through without anything more.
    EXPECT_TRUE(ctl->confirm_exit());
    EXPECT_EQ(view.program_endings.size(), 1u);
}

TEST_F(StatesTest, ExitEndsTheOpenSearchWindowsAndNoneOpensAfterIt) {
    timing().search_window = std::chrono::seconds(30);
    ctl->start_search_window();
    EXPECT_EQ(flags.intake_closed.load(), 0);
    EXPECT_TRUE(ctl->confirm_exit());  // returns at once: the window's thread is woken
    EXPECT_EQ(flags.intake_closed.load(), 1);
    EXPECT_EQ(view.serve_posted(), 0);  // a stopped window does not report its end
    view.at(IDC_SEARCH).enabled = true;
    ctl->start_search_window();
    EXPECT_TRUE(view.is_enabled(IDC_SEARCH));
    EXPECT_EQ(flags.intake_closed.load(), 1);
}

TEST_F(StatesTest, ExitDuringABatchOrWhileStoppingAsksTheForcingQuestion) {
    start_list_batch();
    EXPECT_FALSE(ctl->confirm_exit());  // No: the window stays
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0], T(TextId::ask_force_stop));
    EXPECT_TRUE(engine.running());
    EXPECT_TRUE(view.program_endings.empty());

    view.answers = {true};
    ctl->on_clean();  // Stopping
    view.answers = {true};
    EXPECT_TRUE(ctl->confirm_exit());
    EXPECT_EQ(view.questions.back(), T(TextId::ask_force_stop));
    EXPECT_EQ(view.program_endings, std::vector<bool>{true});
}

TEST_F(StatesTest, SearchResetsTheListTheFilterAndTheRangeBox) {
    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    view.at(IDC_SELECT_ALL).checked = false;
    view.at(IDC_RANGE_BOX).checked = true;
    view.at(IDC_RANGE_START).enabled = true;
    ctl->on_search();
    EXPECT_EQ(port.row_count(), 0);
    EXPECT_TRUE(port.record_tables().copy(RecordTable::found).empty());
    EXPECT_EQ(view.at(IDC_TYPE_FILTER).entries, std::vector<std::string>{"ALL"});
    EXPECT_EQ(view.current_index(IDC_TYPE_FILTER), 0);
    ASSERT_EQ(discovery.searches.size(), 1u);
    EXPECT_EQ(discovery.searches[0].both, 1);
    EXPECT_EQ(discovery.searches[0].target, "");
    EXPECT_TRUE(view.is_checked(IDC_SELECT_ALL));
    EXPECT_FALSE(view.is_checked(IDC_RANGE_BOX));
    EXPECT_FALSE(view.is_enabled(IDC_RANGE_START));
    EXPECT_FALSE(view.is_enabled(IDC_RANGE_END));
    EXPECT_FALSE(view.is_enabled(IDC_SEARCH));  // its search window is open
    EXPECT_EQ(flags.intake_closed.load(), 0);
}

TEST_F(StatesTest, RangeBoxClearsTheListButNotTheRecords) {
    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    view.at(IDC_TYPE_FILTER).index = 2;
    view.at(IDC_STATUS_LINE).text = "[0] busy";
    view.at(IDC_COUNTER).text = "(  1/2  )";
    view.at(IDC_RANGE_BOX).checked = true;
    ctl->on_range_box();
    EXPECT_EQ(port.row_count(), 0);
    EXPECT_EQ(port.record_tables().copy(RecordTable::found).size(), 1u);
    EXPECT_EQ(flags.intake_closed.load(), 1);
    EXPECT_TRUE(view.is_enabled(IDC_RANGE_START));
    EXPECT_TRUE(view.is_enabled(IDC_RANGE_END));
    EXPECT_EQ(view.current_index(IDC_TYPE_FILTER), 0);
    EXPECT_EQ(view.text(IDC_STATUS_LINE), "");
    EXPECT_EQ(view.text(IDC_COUNTER), "");
    EXPECT_TRUE(discovery.searches.empty());

    view.at(IDC_RANGE_BOX).checked = false;
    ctl->on_range_box();
    EXPECT_FALSE(view.is_enabled(IDC_RANGE_START));
    ASSERT_EQ(discovery.searches.size(), 1u);
    EXPECT_EQ(discovery.searches[0].both, 1);
    EXPECT_EQ(flags.intake_closed.load(), 0);
    EXPECT_FALSE(view.is_enabled(IDC_SEARCH));

    // Refused while a batch runs.
    start_list_batch();
    view.at(IDC_RANGE_BOX).checked = true;
    ctl->on_range_box();
    EXPECT_EQ(port.row_count(), 1);
}

TEST_F(StatesTest, StartUpControlsAndTheThreadsAndWorkerSelectors) {
    EXPECT_FALSE(view.is_checked(IDC_RANGE_BOX));
    EXPECT_FALSE(view.is_enabled(IDC_RANGE_START));
    EXPECT_FALSE(view.is_enabled(IDC_RANGE_END));
    EXPECT_EQ(view.text(IDC_RANGE_START), WindowController::kDefaultRangeStart);
    EXPECT_EQ(view.text(IDC_RANGE_END), "254");
    EXPECT_TRUE(view.is_checked(IDC_SELECT_ALL));
    EXPECT_FALSE(view.is_checked(IDC_AUTO_RETRY));
    ASSERT_EQ(view.at(IDC_THREADS).entries.size(), 10u);
    EXPECT_EQ(view.at(IDC_THREADS).entries[0], "Threads:[1]");
    EXPECT_EQ(view.at(IDC_THREADS).entries[9], "Threads:[10]");
    EXPECT_EQ(view.current_index(IDC_THREADS), 1);
    EXPECT_EQ(view.at(IDC_WORKER_VIEW).entries, (std::vector<std::string>{"[0]", "[1]"}));
    EXPECT_EQ(view.at(IDC_TYPE_FILTER).entries,
              (std::vector<std::string>{"ALL", "PANEL", "MONITOR", "PERSON"}));
    EXPECT_EQ(view.text(IDC_COUNTER), "( 0/0 )");
    EXPECT_EQ(ctl->sort_column(), 0);
    EXPECT_TRUE(ctl->sort_ascending());

    view.at(IDC_THREADS).index = 4;
    ctl->on_threads();
    EXPECT_EQ(view.at(IDC_WORKER_VIEW).entries,
              (std::vector<std::string>{"[0]:", "[1]:", "[2]:", "[3]:", "[4]:"}));
    EXPECT_EQ(view.current_index(IDC_WORKER_VIEW), 0);

    engine.status[3] = "[3] sending";
    engine.img[3] = 40;
    engine.dev[3] = 70;
    view.at(IDC_WORKER_VIEW).index = 3;
    ctl->on_worker_view();
    EXPECT_EQ(view.text(IDC_STATUS_LINE), "[3] sending");
    EXPECT_EQ(view.at(IDC_IMG_BAR).value, 40);
    EXPECT_EQ(view.at(IDC_DEV_BAR).value, 70);
}

TEST_F(StatesTest, AutoRetryAndSelectAll) {
    view.at(IDC_AUTO_RETRY).checked = true;
    ctl->on_auto_retry();
    EXPECT_EQ(engine.auto_retry, 1);
    view.at(IDC_AUTO_RETRY).checked = false;
    ctl->on_auto_retry();
    EXPECT_EQ(engine.auto_retry, 0);

    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    add_device("10.0.0.6", "aa:bb:cc:00:00:06", "PANEL");
    flags.intake_closed = 0;
    view.at(IDC_SELECT_ALL).checked = false;
    ctl->on_select_all();
    EXPECT_EQ(port.count_checked(), 0);
    EXPECT_EQ(flags.intake_closed.load(), 1);
    view.at(IDC_SELECT_ALL).checked = true;
    ctl->on_select_all();
    EXPECT_EQ(port.count_checked(), 2);
}

TEST_F(StatesTest, AdaptersGiveTheBindAddressAndTheRangeStart) {
    ctl->set_adapters({"eth0", "eth1"}, {"10.1.2.3", "172.16.0.9"});
    EXPECT_EQ(view.at(IDC_ADAPTER).entries, (std::vector<std::string>{"eth0", "eth1"}));
    EXPECT_EQ(view.current_index(IDC_ADAPTER), 0);
    EXPECT_EQ(ipv4_text(ctl->bind_addr()), "10.1.2.3");
    EXPECT_EQ(view.text(IDC_RANGE_START), "10.1.2.250");

    add_device("10.0.0.5", "aa:bb:cc:00:00:05", "PANEL");
    view.at(IDC_ADAPTER).index = 1;
    ctl->on_adapter();
    EXPECT_EQ(ipv4_text(ctl->bind_addr()), "172.16.0.9");
    EXPECT_EQ(view.text(IDC_RANGE_START), "172.16.0.250");
    EXPECT_EQ(discovery.restarts, std::vector<std::string>{"172.16.0.9"});
    EXPECT_EQ(port.row_count(), 0);
    EXPECT_TRUE(port.record_tables().copy(RecordTable::found).empty());
    ASSERT_EQ(discovery.searches.size(), 1u);
    EXPECT_EQ(discovery.searches[0].both, 0);
    EXPECT_TRUE(view.messages.empty());

    // No adapter: the fixed range start stays; a bad address is told and binds nothing.
    ctl->set_adapters({}, {});
    EXPECT_EQ(view.current_index(IDC_ADAPTER), -1);
    EXPECT_EQ(view.text(IDC_RANGE_START), "172.16.0.250");
    ctl->set_bind_addr("not an address");
    EXPECT_EQ(view.messages, std::vector<std::string>{"无效的IP地址"});
    EXPECT_EQ(ipv4_text(ctl->bind_addr()), "0.0.0.0");
}

}  // namespace
}  // namespace quillon::test
