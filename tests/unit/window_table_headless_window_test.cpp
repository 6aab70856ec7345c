// SPDX-License-Identifier: Apache-2.0
// The headless window: its window thread under load from many threads, and its widgets.
#include "window/headless_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "texts/ui_texts.h"
#include "window_table_test_support.h"

namespace quillon {
namespace {

const std::vector<std::string> kStartEntries = {"ALL", "PANEL", "MONITOR", "PERSON"};

// Starts n threads that wait for one another before running body(index), then joins them.
void run_together(int n, const std::function<void(int)>& body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i)
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (ready.load() < n) std::this_thread::yield();
            body(i);
        });
    for (auto& t : threads) t.join();
}

std::vector<DeviceRow> rows_of(HeadlessWindow& w) {
    std::vector<DeviceRow> rows;
    w.run([&] { rows = w.device_table().rows(); });
    return rows;
}

TEST(HeadlessWindow, SameDeviceFromEightThreadsAtOnceIsListedOnce) {
    for (int round = 0; round < 20; ++round) {
        HeadlessWindow w(test::unused_user_report(), {"ALL"});
        std::atomic<int> inserted{0};
        std::atomic<int> refused{0};
        run_together(8, [&](int i) {
            // Same IP and MAC; only the version differs, so a second row would show.
            FoundDevice d{
                "10.1.1.1",           "01-01", "AA:BB", "WALL", "V" + std::to_string(i), "Ready",
                "2024-01-01 00:00:00"};
            (w.insert_found_device(d) >= 0 ? inserted : refused).fetch_add(1);
        });
        ASSERT_EQ(inserted.load(), 1);
        ASSERT_EQ(refused.load(), 7);
        ASSERT_EQ(w.row_count(), 1);
        ASSERT_EQ(w.record_tables().size(RecordTable::found), 1u);
        ASSERT_EQ(w.widgets().type_filter_entries, (std::vector<std::string>{"ALL", "WALL"}));
    }
}

TEST(HeadlessWindow, ManyThreadsInsertingLoseNoRowAndKeepRecordsInStep) {
    HeadlessWindow w(test::unused_user_report(), kStartEntries);
    constexpr int kThreads = 8, kEach = 60;
    run_together(kThreads, [&](int t) {
        for (int i = 0; i < kEach; ++i) {
            std::string ip = "10.2." + std::to_string(t) + "." + std::to_string(i);
            // Every device is announced twice, as repeated answers are.
            FoundDevice d{ip, "01-01", "M" + ip, t % 2 ? "PANEL" : "MONITOR", "V1", "Ready", "x"};
            w.insert_found_device(d);
            w.insert_found_device(d);
        }
    });
    auto rows = rows_of(w);
    auto recs = w.record_tables().copy(RecordTable::found);
    ASSERT_EQ(rows.size(), static_cast<size_t>(kThreads * kEach));
    ASSERT_EQ(recs.size(), rows.size());
    std::set<std::string> ips;
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].cells[col_id], std::to_string(i + 1));  // row count before + 1
        EXPECT_TRUE(ips.insert(rows[i].cells[col_ip]).second) << rows[i].cells[col_ip];
        EXPECT_EQ(recs[i][col_ip], rows[i].cells[col_ip]);  // record i belongs to row i
        EXPECT_EQ(recs[i][col_mac], rows[i].cells[col_mac]);
    }
    EXPECT_EQ(w.count_checked(), kThreads * kEach);
}

TEST(HeadlessWindow, RangeWorkersAndIntakeAtOnceKeepEveryRowWhole) {
    // Ten workers add range rows and write their own rows' cells while the intake refreshes
    // rows by address and a reader counts ticks: no row is lost or doubled, every row keeps the
    // cells only its worker writes, and records stay in step with rows.
    ui_texts().fill(true);
    HeadlessWindow w(test::unused_user_report(), kStartEntries);
    w.set_range_box(true);
    constexpr int kWorkers = 10, kEach = 20;
    std::atomic<bool> workers_done{false};
    std::thread intake([&] {
        int k = 0;
        while (!workers_done) {
            std::string ip = "10.3." + std::to_string(k % kWorkers) + "." +
                             std::to_string(k % kEach);
            w.update_row_by_ip(ip, "01-01", "MAC-" + ip, "PANEL", "V9", "Ready");
            ++k;
        }
    });
    std::thread reader([&] {
        while (!workers_done) {
            int c = w.count_checked();
            EXPECT_GE(c, 0);
            EXPECT_LE(c, kWorkers * kEach);
        }
    });
    std::mutex list_lock;  // stands for g_list_lock, held around add_range_row
    run_together(kWorkers, [&](int t) {
        for (int i = 0; i < kEach; ++i) {
            std::string ip = "10.3." + std::to_string(t) + "." + std::to_string(i);
            int row;
            {
                std::lock_guard<std::mutex> g(list_lock);
                row = w.add_range_row(ip);
            }
            ASSERT_GE(row, 0);
            w.set_check(row, true);
            w.device_image(row, ImageProgress{1, ImagePhase::finished, 100});
            std::lock_guard<std::mutex> g(list_lock);
            w.device_ended(row, true, std::chrono::seconds(3));
            w.set_record_tick(RecordTable::range, ip, "", w.get_check(row));
        }
    });
    workers_done = true;
    intake.join();
    reader.join();

    auto rows = rows_of(w);
    auto recs = w.record_tables().copy(RecordTable::range);
    ASSERT_EQ(rows.size(), static_cast<size_t>(kWorkers * kEach));
    ASSERT_EQ(recs.size(), rows.size());
    std::set<std::string> ips;
    for (size_t i = 0; i < rows.size(); ++i) {
        const DeviceRow& r = rows[i];
        EXPECT_EQ(r.cells[col_id], std::to_string(i + 1));
        EXPECT_TRUE(ips.insert(r.cells[col_ip]).second);
        // The refresh writes its own status word, so STAT holds whichever came last.
        EXPECT_TRUE(r.cells[col_stat] == "success" || r.cells[col_stat] == "Ready");
        EXPECT_EQ(r.cells[col_percent], "[K.F]: 100%");
        EXPECT_FALSE(r.ticked);
        EXPECT_EQ(recs[i][col_ip], r.cells[col_ip]);
        EXPECT_EQ(recs[i][10], "FLASE");
        // A refreshed row carries its own address's MAC, never another's.
        if (!r.cells[col_mac].empty()) {
            EXPECT_EQ(r.cells[col_mac], "MAC-" + r.cells[col_ip]);
        }
    }
}

TEST(HeadlessWindow, RequestsFromTheWindowThreadItselfRunAtOnce) {
    HeadlessWindow w(test::unused_user_report(), kStartEntries);
    std::thread::id window_thread;
    int rows = -1;
    bool done = false;
    ASSERT_TRUE(w.run([&] {
        window_thread = std::this_thread::get_id();
        // A command on the window thread that uses the port must not wait for itself.
        w.add_range_row("10.4.0.1");
        rows = w.row_count();
        w.set_status_line("from inside");
        w.message_box("inside");
        done = w.run([] {});
    }));
    EXPECT_TRUE(done);
    EXPECT_EQ(rows, 1);
    EXPECT_NE(window_thread, std::this_thread::get_id());

    // Table notifications arrive on the window thread too.
    struct Seen : DeviceTableObserver {
        std::vector<std::thread::id> ids;
        void rows_inserted(int, int) override { ids.push_back(std::this_thread::get_id()); }
    } seen;
    w.add_table_observer(&seen);
    w.add_range_row("10.4.0.2");
    w.remove_table_observer(&seen);
    w.add_range_row("10.4.0.3");
    std::vector<std::thread::id> ids;
    w.run([&] { ids = seen.ids; });
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0], window_thread);
}

TEST(HeadlessWindow, WidgetsStartAsStartUpLeavesThem) {
    HeadlessWindow w(test::unused_user_report(), kStartEntries);
    HeadlessWidgets s = w.widgets();
    EXPECT_EQ(s.counter, "( 0/0 )");
    EXPECT_EQ(s.batch_bar, 0);
    EXPECT_TRUE(s.idle);
    EXPECT_TRUE(w.is_stop_enabled());
    EXPECT_FALSE(w.range_box_checked());
    EXPECT_EQ(s.selected_worker, 0);
    EXPECT_EQ(w.type_filter_text(), "ALL");
    EXPECT_EQ(w.flags().intake_closed.load(), 0);
    EXPECT_EQ(w.flags().conflict_watch.load(), 0);

    HeadlessWindow none(test::unused_user_report(), {});
    EXPECT_EQ(none.type_filter_text(), "");  // no entry, nothing chosen
}

TEST(HeadlessWindow, WidgetRequestsChangeStateAndTellObservers) {
    ui_texts().fill(true);  // the status line's words
    HeadlessWindow w(test::unused_user_report(), kStartEntries);
    struct Log : WidgetObserver {
        std::vector<WidgetChange> changes;
        std::string last_counter;
        void widget_changed(WidgetChange what, const HeadlessWidgets& now) override {
            changes.push_back(what);
            last_counter = now.counter;
        }
    } log;
    w.add_widget_observer(&log);
    std::vector<std::string> handled;
    w.set_message_handler([&](const std::string& m) { handled.push_back(m); });

    w.set_counter("(  1/3  )");
    w.set_counter("(  1/3  )");  // unchanged: no notification
    w.set_batch_bar(33);
    const WorkerStatus line{WorkerActivity::connected, "10.0.0.1", 1},
        other{WorkerActivity::connected, "10.0.0.2", 1};
    w.show_worker(0, WorkerView{nullptr, 50, 25});
    w.show_worker(0, WorkerView{&line});
    w.show_worker(1, WorkerView{&other, 90, 90});  // not the worker followed: nothing changes
    w.message_box("Image check failed!");
    w.message_box("The bulk upgrade process stop !");
    w.set_type_filter({"ALL"});
    w.choose_type_filter(5);  // no such entry: nothing chosen
    w.remove_widget_observer(&log);
    w.set_counter("gone");

    HeadlessWidgets s = w.widgets();
    EXPECT_EQ(s.batch_bar, 33);
    EXPECT_EQ(w.get_batch_bar(), 33);
    EXPECT_EQ(s.image_bar, 50);
    EXPECT_EQ(s.device_bar, 25);
    EXPECT_EQ(s.status_line, "IP:10.0.0.1  running ... (1)");
    EXPECT_EQ(w.type_filter_text(), "");
    EXPECT_EQ(w.messages(),
              (std::vector<std::string>{"Image check failed!", "The bulk upgrade process stop !"}));
    std::vector<std::string> handled_copy;
    w.run([&] { handled_copy = handled; });
    EXPECT_EQ(handled_copy, w.messages());

    std::vector<WidgetChange> changes;
    std::string last_counter;
    w.run([&] {
        changes = log.changes;
        last_counter = log.last_counter;
    });
    EXPECT_EQ(changes, (std::vector<WidgetChange>{WidgetChange::counter, WidgetChange::batch_bar,
                                                  WidgetChange::image_bar, WidgetChange::device_bar,
                                                  WidgetChange::status_line, WidgetChange::message,
                                                  WidgetChange::message, WidgetChange::type_filter,
                                                  WidgetChange::type_filter}));
    EXPECT_EQ(last_counter, "(  1/3  )");
}

TEST(HeadlessWindow, TheBatchBarIsRaisedNeverLowered) {
    HeadlessWindow w(test::unused_user_report(), kStartEntries);
    w.raise_batch_bar(40);
    EXPECT_EQ(w.get_batch_bar(), 40);
    w.raise_batch_bar(25);  // a worker that finished earlier reports late
    EXPECT_EQ(w.get_batch_bar(), 40);
    w.raise_batch_bar(40);
    EXPECT_EQ(w.get_batch_bar(), 40);

    // Workers raising at once: the bar ends at the highest share, whatever the order.
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([&w, t] {
            for (int p = 41 + t; p <= 100 - 3 + t; p += 4) w.raise_batch_bar(p);
        });
    for (auto& t : workers) t.join();
    EXPECT_EQ(w.get_batch_bar(), 100);
}

TEST(HeadlessWindow, EnterIdleWakesWaitersAndRestoresStop) {
    HeadlessWindow w(test::unused_user_report(), kStartEntries);
    std::atomic<int> idle_calls{0};
    w.set_idle_handler([&] { idle_calls.fetch_add(1); });
    std::atomic<int> reports{0};
    w.set_report_handler([&] { reports.fetch_add(1); });

    w.leave_idle();
    w.set_stop_enabled(false);  // a graceful stop disables the button
    EXPECT_FALSE(w.is_stop_enabled());
    EXPECT_FALSE(w.wait_idle(std::chrono::milliseconds(20)));

    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = w.wait_idle(std::chrono::seconds(30)); });
    std::thread driver([&] {
        w.show_user_report();
        w.enter_idle();
    });
    driver.join();
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_TRUE(w.is_stop_enabled());
    EXPECT_TRUE(w.widgets().idle);
    EXPECT_EQ(idle_calls.load(), 1);
    EXPECT_EQ(reports.load(), 1);
}

}  // namespace
}  // namespace quillon
