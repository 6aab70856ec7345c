// SPDX-License-Identifier: Apache-2.0
// The address-conflict check and the simulated exchange that shares it.
#include <gtest/gtest.h>

#include <utility>

#include "support/debug_lines.h"
#include "engine_test_support.h"

namespace quillon::test {
namespace {

constexpr int kW = 2;
constexpr int kRow = 0;

class EngineConflict : public EngineTest {
protected:
    void SetUp() override {
        load({{pattern(1000)}});
        engine.set_cur_device(kW, "127.0.0.1", "00:11:22:33:44:55");
        window.selected = kW;
    }
    // The intake's part: after the directed search, another device answers for the address.
    void another_device_answers() {
        search.on_search = [this] { answerer = std::thread([this] { engine.flag_conflict(kW); }); };
    }
    void TearDown() override {
        if (answerer.joinable()) answerer.join();
    }
    std::thread answerer;
};

TEST_F(EngineConflict, WithoutAnswerTheCheckWaitsThreeStepsAndPasses) {
    test::DebugLines debug_lines;
    EXPECT_EQ(engine.check_ip_conflict("127.0.0.1", kW), 0);
    const std::string out = debug_lines.take();
    EXPECT_EQ(out,
              "wait for check ip conflict 3\nwait for check ip conflict 2\n"
              "wait for check ip conflict 1\n");
    ASSERT_EQ(search.calls.size(), 1u);
    EXPECT_EQ(search.calls[0], (std::pair<int, std::string>{0, "127.0.0.1"}));
    EXPECT_EQ(report().find("USR"), std::string::npos);
}

TEST_F(EngineConflict, AConflictDuringTheWaitFailsTheImageWithoutConnecting) {
    // The answer wakes the wait: with a step this long, a wait that only looked at the flag at
    // the end of its step would keep the test for a minute.
    timing().conflict_wait_step = 60s;
    another_device_answers();
    FakeDevice dev([](int) {});
    engine.m_port = dev.port();
    test::DebugLines debug_lines;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(engine.process_one("127.0.0.1", 0, kW, kRow, 0), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 20s);
    const std::string out = debug_lines.take();
    EXPECT_EQ(out,
              "wait for check ip conflict 3\n"
              "IP Conflict 127.0.0.1 err (127.0.0.1 00:11:22:33:44:55)!\n");
    EXPECT_EQ(dev.accepted(), 0);
    EXPECT_TRUE(window.cell_writes().empty());
    EXPECT_EQ(engine.m_ip_conflict[kW], 0);  // acted on, so cleared
    EXPECT_EQ(count_of(report(),
                       "upgrade error: ipaddr conflict, IP:127.0.0.1 "
                       "MAC:00:11:22:33:44:55"),
              1);
    EXPECT_NE(report().find("USR"), std::string::npos);

    // The next attempt runs a fresh check and, with no new answer, passes it.
    answerer.join();
    search.on_search = nullptr;
    timing().conflict_wait_step = 1ms;
    EXPECT_EQ(engine.check_ip_conflict("127.0.0.1", kW), 0);
    EXPECT_EQ(search.calls.size(), 2u);
}

TEST_F(EngineConflict, TheSimulatedExchangeShowsAWholeImage) {
    engine.m_done = 1;
    engine.m_total = 4;
    test::DebugLines debug_lines;
    EXPECT_EQ(engine.fake_process_one("127.0.0.1", 0, kW, kRow, 0), 0);
    const std::string out = debug_lines.take();
    EXPECT_EQ(lines_of(out).front(), "IP Conflict 127.0.0.1  (127.0.0.1 00:11:22:33:44:55)! =17");
    EXPECT_EQ(lines_of(out).back(), "percent3=25 1 4");
    EXPECT_EQ(window.batch_bar(), 25);

    const auto col5 = window.column(5);
    ASSERT_EQ(col5.size(), 11u + 21u + 1u);
    EXPECT_EQ(col5[0], "[B.S]: 0% ");
    EXPECT_EQ(col5[10], "[B.S]: 50% ");  // S at 100 is half of the only image
    EXPECT_EQ(col5[11], "[B.B]: 50%");
    EXPECT_EQ(col5[31], "[B.B]: 100%");
    EXPECT_EQ(col5[32], "[B.F]: 100%");
    EXPECT_EQ(window.last(6), "finish");
    EXPECT_EQ(window.status_lines().back(), "IP:127.0.0.1  image[boot] finish");
    EXPECT_EQ(search.calls.size(), 1u);

    // The batch bar never moves back.
    window.set_batch_bar(80);
    EXPECT_EQ(engine.fake_process_one("127.0.0.1", 0, kW, kRow, 0), 0);
    EXPECT_EQ(window.batch_bar(), 80);

    // Nor when another worker's request lands between two of this worker's requests: it moves
    // the bar further, and this worker's smaller share must not take it back.
    window.set_batch_bar(0);
    bool other_worker_pending = true;
    window.after_bar_request = [&] {
        if (std::exchange(other_worker_pending, false)) window.set_batch_bar(90);
    };
    EXPECT_EQ(engine.fake_process_one("127.0.0.1", 0, kW, kRow, 0), 0);
    EXPECT_EQ(window.batch_bar(), 90);
}

TEST_F(EngineConflict, TheSimulatedExchangeFailsOnAConflictWithoutReportLine) {
    another_device_answers();
    test::DebugLines debug_lines;
    EXPECT_EQ(engine.fake_process_one("127.0.0.1", 0, kW, kRow, 0), -1);
    const std::string out = debug_lines.take();
    EXPECT_EQ(lines_of(out).back(), "IP Conflict 127.0.0.1 err (127.0.0.1 00:11:22:33:44:55)!");
    EXPECT_EQ(engine.m_ip_conflict[kW], 0);
    EXPECT_TRUE(window.cell_writes().empty());
    EXPECT_EQ(report().find("conflict"), std::string::npos);
    EXPECT_EQ(engine.fake_process_one("127.0.0.1", 3, kW, kRow, 0), -1);  // slot not loaded
}

}  // namespace
}  // namespace quillon::test
