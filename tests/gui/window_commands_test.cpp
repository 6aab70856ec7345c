// SPDX-License-Identifier: Apache-2.0
// The window's states and commands: START and its refusals, CLEAN/STOP, EXIT, SEARCH and the
// search window, the range box, threads, worker view, select-all, adapter.
#include <QHeaderView>

#include <thread>

#include "window_fixture.h"

namespace quillon::test {
namespace {

// Controls that START disables and the end of a batch enables again.
const int kBatchLocked[] = {IDC_TYPE_FILTER, IDC_RANGE_BOX,  IDC_SELECT_ALL,
                            IDC_THREADS,     IDC_AUTO_RETRY, IDC_ADAPTER};

class CommandsTest : public WindowTest {
protected:
    void choose_image() {
        box(IDC_BOOT_CHECK)->click();
        edit(IDC_BOOT_PATH)->setText("/images/1_uboot.img");
    }
    void start_running() {
        choose_image();
        add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
        button(IDC_START)->click();
        ASSERT_TRUE(engine.running());
    }
    void expect_idle_controls() {
        EXPECT_TRUE(enabled(IDC_START));
        EXPECT_TRUE(enabled(IDC_CLEAN));
        EXPECT_EQ(text_of(IDC_CLEAN), "CLEAN");
        EXPECT_TRUE(enabled(IDC_EXIT));
        EXPECT_TRUE(enabled(IDC_WORKER_VIEW));
        for (int id : kBatchLocked) EXPECT_TRUE(enabled(id)) << id;
    }
};

TEST_F(CommandsTest, StateTableIdleSearchWindowRunningStopping) {
    // Long enough that a loaded machine still sees the window open before it closes.
    timing().search_window = std::chrono::milliseconds(1500);
    // Idle.
    expect_idle_controls();
    EXPECT_TRUE(enabled(IDC_SEARCH));
    EXPECT_FALSE(enabled(IDC_RANGE_START));
    box(IDC_RANGE_BOX)->click();
    EXPECT_TRUE(enabled(IDC_RANGE_START));
    EXPECT_TRUE(enabled(IDC_RANGE_END));
    box(IDC_RANGE_BOX)->click();  // unticking opens a search window
    EXPECT_FALSE(enabled(IDC_RANGE_START));
    EXPECT_FALSE(enabled(IDC_RANGE_END));

    // Search window: SEARCH off, the rest as Idle; then back on.
    ASSERT_TRUE(wait_until([&] { return !enabled(IDC_SEARCH); }));
    expect_idle_controls();
    EXPECT_EQ(dlg->flags().intake_closed.load(), 0);
    ASSERT_TRUE(wait_until([&] { return enabled(IDC_SEARCH); }));
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);

    // Running.
    box(IDC_RANGE_BOX)->click();  // range fields enabled before the batch...
    box(IDC_RANGE_BOX)->click();
    // The new search window disables SEARCH from its own thread; wait for that and for its end,
    // or its late disable could land after the batch's end below.
    ASSERT_TRUE(wait_until([&] { return !enabled(IDC_SEARCH); }));
    ASSERT_TRUE(wait_until([&] { return enabled(IDC_SEARCH); }));
    start_running();
    EXPECT_FALSE(enabled(IDC_START));
    EXPECT_FALSE(enabled(IDC_SEARCH));
    EXPECT_TRUE(enabled(IDC_CLEAN));
    EXPECT_EQ(text_of(IDC_CLEAN), "STOP");
    EXPECT_TRUE(enabled(IDC_EXIT));
    EXPECT_TRUE(enabled(IDC_WORKER_VIEW));
    for (int id : kBatchLocked) EXPECT_FALSE(enabled(id)) << id;
    EXPECT_FALSE(enabled(IDC_RANGE_START));  // unchanged by START

    // STOP answered No: still Running.
    dlg->answers = {false};
    button(IDC_CLEAN)->click();
    EXPECT_TRUE(engine.running());
    EXPECT_TRUE(enabled(IDC_CLEAN));

    // Stopping.
    dlg->answers = {true};
    button(IDC_CLEAN)->click();
    ASSERT_EQ(dlg->shown.back().text, T(TextId::ask_stop_after));
    EXPECT_EQ(dlg->shown.back().kind, CQuillonDlg::MsgKind::question);
    EXPECT_FALSE(engine.running());
    EXPECT_FALSE(enabled(IDC_CLEAN));
    EXPECT_EQ(text_of(IDC_CLEAN), "STOP");
    EXPECT_FALSE(enabled(IDC_START));
    EXPECT_FALSE(enabled(IDC_SEARCH));
    for (int id : kBatchLocked) EXPECT_FALSE(enabled(id)) << id;
    EXPECT_TRUE(dlg->port().is_stop_enabled() == false);

    // The end of the batch (through the port, as the driver does it): Idle again.
    std::thread driver([&] { dlg->port().enter_idle(); });
    ASSERT_TRUE(wait_until([&] { return enabled(IDC_START); }));
    driver.join();
    expect_idle_controls();
    EXPECT_TRUE(enabled(IDC_SEARCH));
}

TEST_F(CommandsTest, StopConfirmedAfterTheBatchEndedLeavesTheWindowIdle) {
    start_running();
    // The question is open while the batch ends (the driver's requests are served meanwhile).
    dlg->while_asking = [&] {
        engine.running_flag = 0;
        dlg->port().enter_idle();
    };
    dlg->answers = {true};
    button(IDC_CLEAN)->click();
    EXPECT_EQ(engine.stops, 0);
    expect_idle_controls();
    EXPECT_FALSE(dlg->batch_in_progress());

    // So the next batch can be stopped.
    button(IDC_START)->click();
    ASSERT_TRUE(engine.running());
    EXPECT_TRUE(enabled(IDC_CLEAN));
    EXPECT_EQ(text_of(IDC_CLEAN), "STOP");
}

// Stopping: the workers still finish their devices in rows they address by position.
TEST_F(CommandsTest, StoppingRefusesSortingAndKeepsSearchOffUntilTheBatchEnds) {
    timing().search_window = std::chrono::milliseconds(150);
    button(IDC_SEARCH)->click();  // its window ends during the batch
    add_device("10.0.0.3", "aa:bb:cc:00:00:03", "PANEL");
    add_device("10.0.0.2", "aa:bb:cc:00:00:02", "PANEL");
    start_running();
    dlg->answers = {true};
    button(IDC_CLEAN)->click();
    ASSERT_FALSE(engine.running());
    ASSERT_TRUE(dlg->batch_in_progress());

    const std::vector<std::string> before = column(col_ip);
    auto* list = ctl<QTableView>(IDC_DEVICE_LIST);
    emit list->horizontalHeader()->sectionClicked(col_ip);
    EXPECT_EQ(column(col_ip), before);
    for (int r = 0; r < dlg->port().row_count(); ++r) EXPECT_EQ(table_of(*dlg).get_tag(r), -1) << r;

    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the search window ends
    QTest::qWait(50);
    EXPECT_FALSE(enabled(IDC_SEARCH));

    std::thread driver([&] { dlg->port().enter_idle(); });
    ASSERT_TRUE(wait_until([&] { return enabled(IDC_START); }));
    driver.join();
    EXPECT_TRUE(enabled(IDC_SEARCH));
    emit list->horizontalHeader()->sectionClicked(col_ip);
    EXPECT_NE(column(col_ip), before);
}

// The search window opens with the command, so that a command right after it (START) closes
// it for good, however late the window's own thread gets to run.
TEST_F(CommandsTest, StartRightAfterSearchKeepsTheIntakeClosed) {
    timing().search_window = std::chrono::milliseconds(400);
    choose_image();
    button(IDC_SEARCH)->click();
    EXPECT_EQ(dlg->flags().window_end_ns.load(), WindowFlags::kWindowOpen);
    EXPECT_FALSE(enabled(IDC_SEARCH));
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    button(IDC_START)->click();
    ASSERT_TRUE(engine.running());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the window's thread runs
    QTest::qWait(20);
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
    EXPECT_FALSE(dlg->flags().takes_answer(std::chrono::steady_clock::now()));
}

TEST_F(CommandsTest, StartCopiesTheBatchAndSetsTheFlags) {
    choose_image();
    edit(IDC_FW_PATH)->setEnabled(true);
    edit(IDC_FW_PATH)->setText("/images/4_app.img");
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    combo(IDC_THREADS)->setCurrentIndex(4);
    button(IDC_START)->click();
    ASSERT_EQ(engine.batches, 1);
    EXPECT_EQ(engine.last.url[0], "/images/1_uboot.img");
    EXPECT_EQ(engine.last.url[1], "");
    EXPECT_EQ(engine.last.url[3], "/images/4_app.img");
    EXPECT_EQ(engine.last.thread_num, 5);
    EXPECT_EQ(engine.last.ip_scan, 0);
    EXPECT_EQ(engine.last.ip_begin, 0xC0A801FAu);  // 192.168.1.250
    EXPECT_EQ(engine.last.ip_end, 254);
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
    EXPECT_EQ(dlg->flags().conflict_watch.load(), 1);
    EXPECT_TRUE(dlg->shown.empty());
}

TEST_F(CommandsTest, ListModeRefusalsChangeNoFlag) {
    choose_image();
    dlg->flags().intake_closed = 0;
    button(IDC_START)->click();
    EXPECT_EQ(dlg->texts(), std::vector<std::string>{
                                "No device selected. Please search for devices or select an IP "
                                "range first"});
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    dlg->port().set_check(0, false);
    button(IDC_START)->click();
    EXPECT_EQ(dlg->texts().back(), "No device selected. Please select a device first.");
    EXPECT_EQ(dlg->flags().intake_closed.load(), 0);
    EXPECT_EQ(dlg->flags().conflict_watch.load(), 0);
    EXPECT_EQ(engine.batches, 0);
    EXPECT_TRUE(enabled(IDC_START));
}

TEST_F(CommandsTest, RangeValidation) {
    choose_image();
    box(IDC_RANGE_BOX)->click();
    struct Case {
        const char* start;
        const char* end;
        bool ok;
    };
    const Case cases[] = {
        {"10.0.0.0", "254", false}, {"10.0.0.1", "254", true}, {"10.0.0.1", "255", false},
        {"10.0.0.10", "9", false},  {"10.0.0.10", "10", true}, {"10.0.0.5", "", false},
    };
    for (const Case& c : cases) {
        dlg->shown.clear();
        engine.batches = 0;
        engine.running_flag = 0;
        dlg->enter_idle();
        edit(IDC_RANGE_START)->setText(c.start);
        edit(IDC_RANGE_END)->setText(c.end);
        button(IDC_START)->click();
        if (c.ok) {
            EXPECT_EQ(engine.batches, 1) << c.start << " - " << c.end;
            EXPECT_EQ(engine.last.ip_scan, 1);
            EXPECT_TRUE(dlg->shown.empty());
        } else {
            EXPECT_EQ(engine.batches, 0) << c.start << " - " << c.end;
            EXPECT_EQ(dlg->texts(),
                      std::vector<std::string>{"IP address is wrong, please set the interval"});
        }
    }
}

TEST_F(CommandsTest, RangeModeWithNothingTickedEmptiesTheListBeforeValidating) {
    choose_image();
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    box(IDC_RANGE_BOX)->click();  // clears the list
    dlg->port().add_range_row("10.0.0.7");
    dlg->port().set_check(0, false);
    ASSERT_EQ(dlg->port().row_count(), 1);
    edit(IDC_RANGE_START)->setText("10.0.0.0");
    dlg->flags().intake_closed = 0;
    button(IDC_START)->click();
    EXPECT_EQ(dlg->port().row_count(), 0);
    EXPECT_EQ(dlg->port().lookup_range_mac("10.0.0.7"), "");
    EXPECT_EQ(dlg->texts().size(), 1u);
    EXPECT_EQ(dlg->flags().intake_closed.load(), 0);  // refused before the flags

    // With a ticked row (a failure of an earlier scan) the list stays and the batch starts.
    dlg->shown.clear();
    dlg->port().add_range_row("10.0.0.7");
    dlg->port().set_check(0, true);
    edit(IDC_RANGE_START)->setText("10.0.0.1");
    button(IDC_START)->click();
    EXPECT_EQ(dlg->port().row_count(), 1);
    EXPECT_EQ(engine.batches, 1);
}

TEST_F(CommandsTest, StartWhileRunningIsRefusedAfterTheFlags) {
    choose_image();
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    engine.running_flag = 1;  // the button is disabled in Running; the check still holds
    dlg->flags().intake_closed = 0;
    dlg->on_start();
    EXPECT_EQ(dlg->texts(), std::vector<std::string>{"Upgrading, do not click!"});
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
    EXPECT_EQ(dlg->flags().conflict_watch.load(), 1);
    EXPECT_EQ(engine.batches, 0);
}

TEST_F(CommandsTest, StartWithoutImagesAsksForAPackageFirst) {
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    button(IDC_START)->click();  // the file dialog is cancelled
    ASSERT_EQ(dlg->filters.size(), 1u);
    EXPECT_NE(dlg->filters[0].find("*.zip"), std::string::npos);
    EXPECT_EQ(engine.batches, 0);
    EXPECT_TRUE(dlg->shown.empty());
    EXPECT_EQ(text_of(IDC_ZIP_PATH), "");
}

TEST_F(CommandsTest, CleanWhileIdleEmptiesListAndRecords) {
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    dlg->port().add_range_row("10.0.0.9");
    dlg->flags().intake_closed = 0;
    button(IDC_CLEAN)->click();
    EXPECT_EQ(dlg->port().row_count(), 0);
    EXPECT_EQ(static_cast<GuiWindowPort&>(dlg->port()).record_tables().lookup_mac("10.0.0.1"), "");
    EXPECT_EQ(dlg->port().lookup_range_mac("10.0.0.9"), "");
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
    EXPECT_TRUE(dlg->shown.empty());
}

TEST_F(CommandsTest, ExitAsksOnlyDuringABatch) {
    dlg->show();
    start_running();
    dlg->answers = {false};
    button(IDC_EXIT)->click();
    EXPECT_EQ(dlg->shown.back().text, T(TextId::ask_force_stop));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(engine.running());

    // Stopping asks too.
    dlg->answers = {true};
    button(IDC_CLEAN)->click();
    ASSERT_FALSE(enabled(IDC_CLEAN));
    bool ended_in_batch = false;
    dlg->on_program_end = [&](bool batch) { ended_in_batch = batch; };
    dlg->answers = {true};
    const auto asked = dlg->shown.size();
    button(IDC_EXIT)->click();
    EXPECT_EQ(dlg->shown.size(), asked + 1);
    EXPECT_EQ(dlg->shown.back().text, T(TextId::ask_force_stop));
    EXPECT_TRUE(ended_in_batch);
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(CommandsTest, TheCloseBoxIsExit) {
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    start_running();
    dlg->answers = {false};
    EXPECT_FALSE(dlg->close());  // the question answered No keeps the window
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->shown.back().text, T(TextId::ask_force_stop));
    dlg->enter_idle();
    engine.running_flag = 0;
    const auto asked = dlg->shown.size();
    EXPECT_TRUE(dlg->close());  // idle: closes without a question
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->shown.size(), asked);
}

TEST_F(CommandsTest, SearchResetsTheListAndSendsOneBroadcastOnBothSockets) {
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "LIFT");
    ASSERT_EQ(entries(IDC_TYPE_FILTER).size(), 5u);  // LIFT was offered
    box(IDC_RANGE_BOX)->click();
    box(IDC_SELECT_ALL)->setChecked(false);
    discovery.searches.clear();
    button(IDC_SEARCH)->click();
    EXPECT_EQ(dlg->port().row_count(), 0);
    EXPECT_EQ(static_cast<GuiWindowPort&>(dlg->port()).record_tables().lookup_mac("10.0.0.1"), "");
    EXPECT_EQ(entries(IDC_TYPE_FILTER), std::vector<std::string>{"ALL"});
    ASSERT_EQ(discovery.searches.size(), 1u);
    EXPECT_EQ(discovery.searches[0].both, 1);
    EXPECT_EQ(discovery.searches[0].target, "");
    EXPECT_TRUE(box(IDC_SELECT_ALL)->isChecked());
    EXPECT_FALSE(box(IDC_RANGE_BOX)->isChecked());
    EXPECT_FALSE(enabled(IDC_RANGE_START));
    EXPECT_EQ(dlg->flags().intake_closed.load(), 0);
    ASSERT_TRUE(wait_until([&] { return !enabled(IDC_SEARCH); }));
    ASSERT_TRUE(wait_until([&] { return enabled(IDC_SEARCH); }));
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
}

TEST_F(CommandsTest, OverlappingSearchWindowsCloseTheIntakeAtTheEarliestEnd) {
    timing().search_window = std::chrono::milliseconds(200);
    button(IDC_SEARCH)->click();
    ASSERT_TRUE(wait_until([&] { return !enabled(IDC_SEARCH); }));
    // The second window lasts much longer; each window reads its length when it starts.
    timing().search_window = std::chrono::milliseconds(60000);
    box(IDC_RANGE_BOX)->click();
    box(IDC_RANGE_BOX)->click();  // unticking starts the second window
    EXPECT_EQ(dlg->flags().intake_closed.load(), 0);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(wait_until([&] { return dlg->flags().intake_closed.load() == 1; }));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
    // The first end enables SEARCH again although the second window is still open...
    ASSERT_TRUE(wait_until([&] { return enabled(IDC_SEARCH); }));
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
    // ...and only the next window opens the intake again.
    timing().search_window = std::chrono::milliseconds(200);
    button(IDC_SEARCH)->click();
    EXPECT_EQ(dlg->flags().intake_closed.load(), 0);
    // Closing the window ends the long window at once.
    const auto t1 = std::chrono::steady_clock::now();
    dlg.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::seconds(5));
}

TEST_F(CommandsTest, RangeBoxClearsTheListAndResetsTheViewButNotTheRecords) {
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    combo(IDC_TYPE_FILTER)->setCurrentIndex(1);
    static_cast<GuiWindowPort&>(dlg->port()).set_status_line("busy");
    discovery.searches.clear();
    box(IDC_RANGE_BOX)->click();
    EXPECT_EQ(dlg->port().row_count(), 0);
    EXPECT_EQ(static_cast<GuiWindowPort&>(dlg->port()).record_tables().lookup_mac("10.0.0.1"),
              "aa:bb:cc:00:00:01");
    EXPECT_EQ(combo(IDC_TYPE_FILTER)->currentIndex(), 0);
    EXPECT_EQ(text_of(IDC_STATUS_LINE), "");
    EXPECT_EQ(text_of(IDC_COUNTER), "");
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
    EXPECT_TRUE(discovery.searches.empty());
    box(IDC_RANGE_BOX)->click();
    ASSERT_EQ(discovery.searches.size(), 1u);
    EXPECT_EQ(discovery.searches[0].both, 1);

    // While a batch runs the box does nothing.
    engine.running_flag = 1;
    box(IDC_RANGE_BOX)->setChecked(true);
    dlg->on_range_box();
    EXPECT_FALSE(enabled(IDC_RANGE_START));
}

TEST_F(CommandsTest, ThreadsBoxRefillsTheWorkerSelector) {
    combo(IDC_THREADS)->setCurrentIndex(4);
    EXPECT_EQ(entries(IDC_WORKER_VIEW),
              (std::vector<std::string>{"[0]:", "[1]:", "[2]:", "[3]:", "[4]:"}));
    EXPECT_EQ(combo(IDC_WORKER_VIEW)->currentIndex(), 0);
    combo(IDC_THREADS)->setCurrentIndex(0);
    EXPECT_EQ(entries(IDC_WORKER_VIEW), std::vector<std::string>{"[0]:"});
}

TEST_F(CommandsTest, WorkerViewShowsTheChosenWorker) {
    combo(IDC_THREADS)->setCurrentIndex(2);
    engine.status[2] = "[10.0.0.3] burning";
    engine.img[2] = 40;
    engine.dev[2] = 75;
    combo(IDC_WORKER_VIEW)->setCurrentIndex(2);
    EXPECT_EQ(text_of(IDC_STATUS_LINE), "[10.0.0.3] burning");
    EXPECT_EQ(ctl<QProgressBar>(IDC_IMG_BAR)->value(), 40);
    EXPECT_EQ(ctl<QProgressBar>(IDC_DEV_BAR)->value(), 75);
    // The port shows the view of the chosen worker only.
    const WorkerStatus other{WorkerActivity::connected, "10.0.0.2", 1},
        chosen{WorkerActivity::image, "10.0.0.3", 0, 2, ImagePhase::finished, 100};
    dlg->port().show_worker(1, WorkerView{&other, 10, 20});
    EXPECT_EQ(text_of(IDC_STATUS_LINE), "[10.0.0.3] burning");
    dlg->port().show_worker(2, WorkerView{&chosen, 100, -1});
    EXPECT_EQ(text_of(IDC_STATUS_LINE), "IP:10.0.0.3  image[system] finish");
    EXPECT_EQ(ctl<QProgressBar>(IDC_IMG_BAR)->value(), 100);
    EXPECT_EQ(ctl<QProgressBar>(IDC_DEV_BAR)->value(), 75);
}

TEST_F(CommandsTest, AutoRetryAndSelectAll) {
    box(IDC_AUTO_RETRY)->click();
    EXPECT_EQ(engine.auto_retry, 1);
    box(IDC_AUTO_RETRY)->click();
    EXPECT_EQ(engine.auto_retry, 0);

    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "PANEL");
    add_device("10.0.0.2", "aa:bb:cc:00:00:02", "PANEL");
    box(IDC_SELECT_ALL)->click();  // unticks
    EXPECT_EQ(dlg->port().count_checked(), 0);
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);
    box(IDC_SELECT_ALL)->click();
    EXPECT_EQ(dlg->port().count_checked(), 2);
    engine.running_flag = 1;
    box(IDC_SELECT_ALL)->setChecked(false);
    dlg->on_select_all();
    EXPECT_EQ(dlg->port().count_checked(), 2);
}

TEST_F(CommandsTest, AdapterChangeRebindsAndSearchesOnTheFirstSocket) {
    dlg->set_adapters({"eth0", "eth1"}, {"10.1.2.3", "172.16.9.8"});
    add_device("10.0.0.1", "aa:bb:cc:00:00:01", "LIFT");
    discovery.searches.clear();
    combo(IDC_ADAPTER)->setCurrentIndex(1);
    EXPECT_EQ(discovery.restarts, std::vector<std::string>{"172.16.9.8"});
    EXPECT_EQ(text_of(IDC_RANGE_START), "172.16.9.250");
    EXPECT_EQ(dlg->port().row_count(), 0);
    EXPECT_EQ(static_cast<GuiWindowPort&>(dlg->port()).record_tables().lookup_mac("10.0.0.1"), "");
    EXPECT_EQ(entries(IDC_TYPE_FILTER), std::vector<std::string>{"ALL"});
    ASSERT_EQ(discovery.searches.size(), 1u);
    EXPECT_EQ(discovery.searches[0].both, 0);
    EXPECT_EQ(dlg->flags().intake_closed.load(), 0);
}

TEST_F(CommandsTest, RequestsFromOtherThreadsRunOnTheWindowThreadWhileItServesEvents) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        const int row = dlg->port().add_range_row("10.0.0.5");
        dlg->port().device_image(row, ImageProgress{1, ImagePhase::sending, 50});
        dlg->port().show_count(1, 3);
        dlg->port().set_batch_bar(33);
        dlg->port().show_message(BatchMessage::image_bad);
        done = true;
    });
    ASSERT_TRUE(wait_until([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(cell(0, 5), "[K.S]: 50%");
    EXPECT_EQ(text_of(IDC_COUNTER), "(  1/3  )");
    EXPECT_EQ(dlg->port().get_batch_bar(), 33);
    EXPECT_EQ(dlg->texts(), std::vector<std::string>{"Image check failed!"});
}

TEST_F(CommandsTest, ClosingTheWindowReleasesThreadsThatStillCallIt) {
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::thread caller([&] {
        while (!stop) {
            dlg->port().show_count(1, 3);
            dlg->port().row_count();
            ++calls;
        }
    });
    ASSERT_TRUE(wait_until([&] { return calls.load() > 10; }));
    auto* port = static_cast<GuiWindowPort*>(&dlg->port());
    port->close();  // the window thread stops serving; the caller must not hang
    const int before = calls.load();
    ASSERT_TRUE(wait_until([&] { return calls.load() > before + 100; }, std::chrono::seconds(5)));
    stop = true;
    caller.join();
}

}  // namespace
}  // namespace quillon::test
