// SPDX-License-Identifier: Apache-2.0
// The driver thread itself: starting and ending batches, a failed image check, the end message,
// stopping the thread, and batches that have nothing to count.
#include "engine_driver_support.h"
#include "support/debug_lines.h"

namespace quillon::test {
namespace {

using DriverLoop = DriverTest;

TEST_F(DriverLoop, AnImageThatFailsItsCheckEndsTheBatchWithoutPassOrReport) {
    make_fleet({"127.0.0.110"});
    add_row("127.0.0.110", "02:00:00:00:01:10");
    const std::string bad = dir / "bad.img";
    write_image(bad, ImageSpec{pattern(900), 0, 0, -1, 0x1234});
    engine.m_url[0] = bad;
    ASSERT_TRUE(start(2));
    ASSERT_TRUE(wait_batch());

    EXPECT_EQ(widgets().messages, std::vector<std::string>{"Image check failed!"});
    EXPECT_TRUE(widgets().idle);
    EXPECT_EQ(reports_shown, 0);
    EXPECT_TRUE(observer.passes().empty());
    EXPECT_TRUE(report_lines().empty());
    EXPECT_EQ(fleet->connections(), 0);
    EXPECT_TRUE(row(0).ticked);
    EXPECT_EQ(engine.m_running, 0);
    EXPECT_EQ(engine.m_img_data[0], nullptr);
}

TEST_F(DriverLoop, NoImageAtAllFailsTheCheckToo) {
    make_fleet({"127.0.0.111"});
    add_row("127.0.0.111", "02:00:00:00:01:11");
    ASSERT_TRUE(start(1));
    ASSERT_TRUE(wait_batch());
    EXPECT_EQ(widgets().messages, std::vector<std::string>{"Image check failed!"});
}

TEST_F(DriverLoop, AStartRightAfterTheEndIsNeitherRefusedNorLost) {
    make_fleet({"127.0.0.120", "127.0.0.121"});
    images({500});
    add_row("127.0.0.120", "02:00:00:00:01:20");
    add_row("127.0.0.121", "02:00:00:00:01:21");
    for (int batch = 0; batch < 5; ++batch) {
        window.set_check(0, true);
        window.set_check(1, true);
        // The window is idle: the next START must be accepted and must run.
        ASSERT_TRUE(start(2)) << batch;
        ASSERT_TRUE(wait_batch(20s)) << batch;
    }
    EXPECT_EQ(observer.passes().size(), 5u);
    EXPECT_EQ(fleet->connections("127.0.0.120"), 5);
    EXPECT_EQ(reports_shown, 5);
}

TEST_F(DriverLoop, StartWakesTheDriverWithoutWaitingForItsPoll) {
    // A poll that never comes within the test: only the wake-up can begin the batches.
    timing().driver_poll = 24h;
    make_fleet({"127.0.0.125"});
    images({500});
    add_row("127.0.0.125", "02:00:00:00:01:25");
    for (int batch = 0; batch < 3; ++batch) {
        window.set_check(0, true);
        ASSERT_TRUE(start(1, false, true)) << batch;
        ASSERT_TRUE(wait_batch(20s)) << batch;
    }
    EXPECT_EQ(fleet->connections("127.0.0.125"), 3);
    EXPECT_EQ(reports_shown, 3);
}

TEST_F(DriverLoop, APassWithoutDevicesShowsZeroAndEndsNormally) {
    make_fleet({"127.0.0.130"});
    images({500});
    add_row("127.0.0.130", "02:00:00:00:01:30");
    window.set_check(0, false);
    test::DebugLines debug_lines;
    ASSERT_TRUE(start(4, true));
    ASSERT_TRUE(wait_batch());
    const std::string out = debug_lines.take();

    EXPECT_EQ(count_of(out, "process thread 0\n"), 1);
    EXPECT_EQ(widgets().counter, "(  0/0  )");
    EXPECT_EQ(widgets().batch_bar, 0);
    EXPECT_EQ(observer.passes().size(), 1u);
    EXPECT_EQ(widgets().messages, std::vector<std::string>{"The bulk upgrade process stop !"});
    EXPECT_EQ(row(0).tag, -1);
}

TEST_F(DriverLoop, TheSimulatedExchangeCountsAsSuccessWithoutAnyConnection) {
    make_fleet({"127.0.0.140"});
    images({500, 500});
    add_row("127.0.0.140", "02:00:00:00:01:40");
    add_row("127.0.0.141", "02:00:00:00:01:41");  // nothing listens there
    engine.m_fake_burn = 1;
    ASSERT_TRUE(start(2));
    ASSERT_TRUE(wait_batch());

    EXPECT_EQ(fleet->connections(), 0);
    EXPECT_FALSE(row(0).ticked);
    EXPECT_FALSE(row(1).ticked);
    for (auto& r : observer.results()) {
        EXPECT_TRUE(r.success);
        EXPECT_EQ(r.slots_done, 3u);
    }
    EXPECT_EQ(widgets().counter, "(  2/2  )");
}

TEST_F(DriverLoop, TheDriverStopsWhenIdleAndCanBeStartedAgain) {
    make_fleet({"127.0.0.150"});
    engine.stop_driver();
    EXPECT_FALSE(engine.m_driver_thread.joinable());
    // A START while no driver runs is taken up once it runs again.
    images({500});
    add_row("127.0.0.150", "02:00:00:00:01:50");
    ASSERT_TRUE(start(1));
    engine.start_driver();
    ASSERT_TRUE(wait_batch());
    EXPECT_EQ(fleet->connections("127.0.0.150"), 1);
}

}  // namespace
}  // namespace quillon::test
