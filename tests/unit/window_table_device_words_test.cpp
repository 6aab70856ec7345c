// SPDX-License-Identifier: Apache-2.0
// What the window shows for the engine's reports in the device's terms: the words of each phase,
// state and outcome in both languages, and the columns and widgets each request changes.
#include "window/device_words.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "support/headless_cells.h"
#include "window_table_test_support.h"
#include "texts/ui_texts.h"
#include "window/device_table.h"
#include "window/headless_window.h"

namespace quillon {
namespace {

using std::chrono::seconds;

// Every language the texts have; the table is left in English for the other tests.
class DeviceWords : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { ui_texts().fill(GetParam()); }
    void TearDown() override { ui_texts().fill(true); }
    bool english() const { return GetParam(); }
};

TEST_P(DeviceWords, EachPhaseStateAndOutcomeHasItsWord) {
    struct Case {
        std::string word, en, zh;
    };
    const std::vector<Case> cases = {
        {image_phase_word(ImagePhase::sending), "sending", "发送中"},
        {image_phase_word(ImagePhase::burning), "burning", "烧写中"},
        {image_phase_word(ImagePhase::finished), "finish", "完成"},
        {device_state_word(DeviceState::connecting), "connecting", "连接中"},
        {device_state_word(DeviceState::running), "running", "运行中"},
        {device_state_word(DeviceState::lost), "Connection lost", "连接断开"},
        {device_state_word(DeviceState::not_back), "not back", "未上线"},
        {outcome_word(true), "success", "成功"},
        {outcome_word(false), "failure", "失败"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.word, english() ? c.en : c.zh);
    EXPECT_EQ(batch_message_text(BatchMessage::done),
              english() ? "The bulk upgrade process stop !" : "批量升级处理结束！");
    EXPECT_EQ(batch_message_text(BatchMessage::stopped),
              english() ? "The bulk upgrade process terminate !" : "批量升级处理被终止！");
    EXPECT_EQ(batch_message_text(BatchMessage::image_bad),
              english() ? "Image check failed!" : "镜像文件错误!");
    EXPECT_NE(batch_message_text(BatchMessage::echo_unavailable).find("CAP_NET_RAW"),
              std::string::npos);
    EXPECT_EQ(awaiting_text(3),
              english() ? "Waiting for 3 device(s) to come back" : "等待 3 台设备重启上线");
}

TEST_P(DeviceWords, AWorkersStatusLineNamesItsDeviceAndWhatItDoes) {
    const std::string ip = "IP:10.0.0.5  ";
    struct Case {
        WorkerStatus status;
        std::string en, zh;
    };
    const std::vector<Case> cases = {
        {{WorkerActivity::idle, "10.0.0.5"}, "", ""},
        {{WorkerActivity::connecting, "10.0.0.5", 2},
         ip + "connecting ... (2)",
         ip + "连接中 ... (2)"},
        {{WorkerActivity::connected, "10.0.0.5", 1}, ip + "running ... (1)", ip + "运行中 ... (1)"},
        {{WorkerActivity::image, "10.0.0.5", 0, 0, ImagePhase::sending, 40},
         ip + "image[boot] sending [40%]",
         ip + "镜像[boot] 发送中 [40%]"},
        {{WorkerActivity::image, "10.0.0.5", 0, 3, ImagePhase::burning, 100},
         ip + "image[app] burning [100%]",
         ip + "镜像[app] 烧写中 [100%]"},
        {{WorkerActivity::image, "10.0.0.5", 0, 1, ImagePhase::finished, 100},
         ip + "image[kernel] finish",
         ip + "镜像[kernel] 完成"},
        {{WorkerActivity::image, "10.0.0.5", 0, 2, ImagePhase::finished, 100},
         ip + "image[system] finish",
         ip + "镜像[system] 完成"},
        // Not a word of the texts: the same in both languages, trailing space and all.
        {{WorkerActivity::unreachable, "10.0.0.5"},
         "IP:10.0.0.5 unreachable ",
         "IP:10.0.0.5 unreachable "},
    };
    for (const Case& c : cases) EXPECT_EQ(worker_status_text(c.status), english() ? c.en : c.zh);
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, DeviceWords, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "English" : "Chinese"; });

TEST(DeviceWordsText, PercentCellNamesSlotPhaseAndTheDeviceShare) {
    EXPECT_EQ(image_progress_text({0, ImagePhase::sending, 12}), "[B.S]: 12%");
    EXPECT_EQ(image_progress_text({1, ImagePhase::burning, 62}), "[K.B]: 62%");
    EXPECT_EQ(image_progress_text({2, ImagePhase::finished, 100}), "[S.F]: 100%");
    EXPECT_EQ(image_progress_text({3, ImagePhase::sending, 0}), "[A.S]: 0%");
    // A simulated upgrade marks its sending share with a trailing space, and only that.
    EXPECT_EQ(image_progress_text({3, ImagePhase::sending, 40, true}), "[A.S]: 40% ");
    EXPECT_EQ(image_progress_text({3, ImagePhase::burning, 90, true}), "[A.B]: 90%");
    EXPECT_EQ(image_progress_text({3, ImagePhase::finished, 100, true}), "[A.F]: 100%");
    // A slot outside the four is shown, not read past the letters.
    EXPECT_EQ(image_progress_text({7, ImagePhase::sending, 5}), "[?.S]: 5%");
}

TEST(DeviceWordsText, TimesAndCounter) {
    EXPECT_EQ(elapsed_text(seconds(0)), "0 s");
    EXPECT_EQ(elapsed_text(seconds(75)), "75 s");
    EXPECT_EQ(elapsed_text(seconds(-4)), "0 s");
    EXPECT_EQ(counter_text(1, 3), "(  1/3  )");
    EXPECT_EQ(counter_text(12, 250), "( 12/250)");

    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 4;
    tm.tm_mday = 6;
    tm.tm_hour = 7;
    tm.tm_min = 8;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    EXPECT_EQ(begin_time_text(std::mktime(&tm)), "2024-05-06 07:08:09");
}

// The same reports through the table port of the headless window: the columns they write.
class DeviceReports : public ::testing::Test {
protected:
    DeviceReports() : w(test::unused_user_report(), {"ALL", "PANEL"}) {
        ui_texts().fill(true);
        w.insert_found_device(
            {"10.0.0.5", "01-01", "AA:05", "PANEL", "V1", "Ready", "2024-01-02 03:04:05"});
    }
    std::vector<std::string> row0() {
        std::vector<std::string> cells;
        for (int c = 0; c < 10; ++c) cells.push_back(test::cell_of(w, 0, c));
        return cells;
    }
    HeadlessWindow w;
};

TEST_F(DeviceReports, EachReportWritesItsColumnsOnly) {
    std::vector<std::string> want = row0();

    w.device_image(0, {1, ImagePhase::sending, 20});
    want[col_percent] = "[K.S]: 20%";
    want[col_stat] = "sending";
    EXPECT_EQ(row0(), want);

    w.device_image(0, {1, ImagePhase::finished, 50});
    want[col_percent] = "[K.F]: 50%";
    want[col_stat] = "finish";
    EXPECT_EQ(row0(), want);

    w.device_state(0, DeviceState::lost);
    want[col_stat] = "Connection lost";
    EXPECT_EQ(row0(), want);

    w.device_came_back(0, "V2");
    want[col_version] = "V2";
    EXPECT_EQ(row0(), want);

    const std::time_t now = std::time(nullptr);
    w.device_ended(0, true, seconds(41));
    want[col_stat] = "success";
    want[col_elapsed] = "41 s";
    EXPECT_EQ(row0(), want);
    EXPECT_FALSE(w.get_check(0));  // done: the next pass leaves it

    w.device_begun(0, now);
    want[col_begin] = begin_time_text(now);
    want[col_elapsed] = "0 s";
    EXPECT_EQ(row0(), want);

    w.device_ended(0, false, seconds(3));
    want[col_stat] = "failure";
    want[col_elapsed] = "3 s";
    EXPECT_EQ(row0(), want);
    EXPECT_TRUE(w.get_check(0));  // failed: the next pass tries it again

    // A row that is not there changes nothing.
    w.device_ended(5, true, seconds(1));
    w.device_image(-1, {0, ImagePhase::sending, 1});
    EXPECT_EQ(w.row_count(), 1);
    EXPECT_EQ(row0(), want);
}

TEST_F(DeviceReports, RowsAreDealtInTurnAndFoundByWorker) {
    for (int i = 6; i <= 10; ++i)
        w.insert_found_device({"10.0.0." + std::to_string(i), "", "AA:" + std::to_string(i),
                               "PANEL", "V1", "Ready", ""});
    w.set_check(2, false);
    EXPECT_EQ(w.deal_rows(2), 5);
    EXPECT_EQ((std::vector<int>{test::tag_of(w, 0), test::tag_of(w, 1), test::tag_of(w, 2),
                                test::tag_of(w, 3), test::tag_of(w, 4), test::tag_of(w, 5)}),
              (std::vector<int>{0, 1, kNoWorker, 0, 1, 0}));
    EXPECT_EQ(w.next_row_of(0, 0), 0);
    EXPECT_EQ(w.next_row_of(0, 1), 3);
    EXPECT_EQ(w.next_row_of(1, 2), 4);
    EXPECT_EQ(w.next_row_of(1, 5), -1);
    EXPECT_EQ(w.next_row_of(2, 0), -1);
    w.set_check(3, false);  // unticked since the deal: no longer its worker's
    EXPECT_EQ(w.next_row_of(0, 1), 5);
    EXPECT_EQ(w.deal_rows(0), 4);  // no worker count: all go to the first
    EXPECT_EQ(w.next_row_of(0, 1), 1);
}

TEST_F(DeviceReports, WidgetsFollowTheChosenWorker) {
    const WorkerStatus first{WorkerActivity::connected, "10.0.0.5", 1},
        second{WorkerActivity::image, "10.0.0.6", 0, 1, ImagePhase::finished, 100};
    w.set_selected_worker(1);
    w.show_worker(0, WorkerView{&first, 30, 40});
    HeadlessWidgets s = w.widgets();
    EXPECT_EQ(s.status_line, "");
    EXPECT_EQ(s.image_bar, 0);
    w.show_worker(1, WorkerView{&second, 100});
    s = w.widgets();
    EXPECT_EQ(s.status_line, "IP:10.0.0.6  image[kernel] finish");
    EXPECT_EQ(s.image_bar, 100);
    EXPECT_EQ(s.device_bar, 0);  // negative: left as it was

    const std::vector<WorkerStatus> of_worker = {{WorkerActivity::connecting, "10.0.0.1", 1},
                                                 {WorkerActivity::connecting, "10.0.0.2", 1},
                                                 {WorkerActivity::connecting, "10.0.0.3", 1}};
    w.show_followed_status(of_worker);
    EXPECT_EQ(w.widgets().status_line, "IP:10.0.0.2  connecting ... (1)");
    w.set_selected_worker(9);  // beyond the workers: the last one's
    w.show_followed_status(of_worker);
    EXPECT_EQ(w.widgets().status_line, "IP:10.0.0.3  connecting ... (1)");

    w.show_count(1, 3);
    s = w.widgets();
    EXPECT_EQ(s.counter, "(  1/3  )");
    EXPECT_EQ(s.batch_bar, 33);
    w.show_count(0, 0);
    EXPECT_EQ(w.widgets().batch_bar, 0);
    w.show_awaited(2);
    EXPECT_EQ(w.widgets().status_line, "Waiting for 2 device(s) to come back");
    w.show_message(BatchMessage::image_bad);
    w.show_message(BatchMessage::done);
    EXPECT_EQ(w.messages(),
              (std::vector<std::string>{"Image check failed!", "The bulk upgrade process stop !"}));
}

TEST_F(DeviceReports, TypeFilterAdmitsTheChosenTypeOrEvery) {
    w.add_range_row("10.0.0.5");
    w.add_range_row("10.0.0.7");
    EXPECT_TRUE(w.admits_type("10.0.0.5"));  // ALL
    EXPECT_TRUE(w.admits_type("10.0.0.7"));
    w.choose_type_filter(1);  // PANEL
    EXPECT_TRUE(w.admits_type("10.0.0.5"));
    EXPECT_FALSE(w.admits_type("10.0.0.7"));  // discovery never saw it: no type
    EXPECT_EQ(test::cell_of(w, 1, col_stat), "running");
}

}  // namespace
}  // namespace quillon
