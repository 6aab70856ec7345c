// SPDX-License-Identifier: Apache-2.0
// Each way a simulated device can be told to misbehave does what its name says, and only to
// that device.
#include <thread>

#include "support/sim_fixture.h"

namespace quillon::labtest {
namespace {

class DevsimFaults : public SimFixture {};

TEST_F(DevsimFaults, RefuseTurnsConnectionsAwayButStillAnswersSearches) {
    start_fleet(2, {{0, "refuse"}});
    UpgradeClient c;
    EXPECT_EQ(c.connect(dev(0), options.upgrade_port, 1000ms), ConnectResult::refused);
    EXPECT_EQ(directed_search(0).size(), 1u);
    EXPECT_EQ(c.connect(dev(1), options.upgrade_port, 1000ms), ConnectResult::connected);
}

TEST_F(DevsimFaults, DropClosesAfterTheGivenNumberOfImageBytes) {
    start_fleet(1, {{0, "drop=25000"}});
    const Image img = make_image(80000, 1);
    UpgradeClient c;
    ASSERT_EQ(c.connect(dev(0), options.upgrade_port, 1000ms), ConnectResult::connected);
    // The send may fail once the device is gone; what counts is what the device took.
    c.send_image(img, img.data.size());
    auto recs = known(c.read_until_finish(5s));
    EXPECT_TRUE(c.peer_closed);
    EXPECT_EQ(recs, (std::vector<std::string>{"S10", "S20", "S30"}));
    auto lines = wait_record_lines(record, ips[0], 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(json_field(lines[0], "result"), "dropped");
    EXPECT_EQ(json_field(lines[0], "received"), "25000");
}

TEST_F(DevsimFaults, FailAnswersF0ForAGoodImage) {
    start_fleet(1, {{0, "fail"}});
    UpgradeClient c;
    EXPECT_EQ(known(upgrade(0, make_image(10000, 2), c)), normal_sequence(0));
    c.close();
    auto lines = wait_record_lines(record, ips[0], 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(json_field(lines[0], "checksum"), "ok");
    EXPECT_EQ(json_field(lines[0], "reason"), "fault");
}

TEST_F(DevsimFaults, HangGoesSilentWithTheConnectionOpenUntilTheToolLeaves) {
    start_fleet(1, {{0, "hang=5000"}});
    const Image img = make_image(20000, 3);
    UpgradeClient c;
    ASSERT_EQ(c.connect(dev(0), options.upgrade_port, 1000ms), ConnectResult::connected);
    ASSERT_TRUE(c.send_image(img, img.data.size()));  // fits the socket buffers
    // S10 is due at 2000 bytes, S20 at 4000; then silence.
    auto recs = known(c.read_until_finish(700ms));
    EXPECT_EQ(recs, (std::vector<std::string>{"S10", "S20"}));
    EXPECT_FALSE(c.peer_closed);
    EXPECT_TRUE(c.quiet_for(300ms));
    EXPECT_TRUE(record_lines(record, ips[0]).empty());  // the connection is still going
    c.close();
    auto lines = wait_record_lines(record, ips[0], 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(json_field(lines[0], "result"), "hung");
    EXPECT_EQ(json_field(lines[0], "received"), "5000");
}

TEST_F(DevsimFaults, SplitRecordsArriveInPiecesAndReassembleToTheNormalSequence) {
    start_fleet(1, {{0, "split"}});
    UpgradeClient c;
    EXPECT_EQ(known(upgrade(0, make_image(8000, 4), c)), normal_sequence(1));
    EXPECT_GT(c.short_reads, 0);
}

TEST_F(DevsimFaults, JunkPutsAnUnknownCodeBeforeEveryRecord) {
    start_fleet(1, {{0, "junk"}});
    UpgradeClient c;
    auto all = upgrade(0, make_image(8000, 5), c);
    EXPECT_EQ(known(all), normal_sequence(1));
    ASSERT_EQ(all.size(), 2 * normal_sequence(1).size());
    for (std::size_t i = 0; i < all.size(); i += 2) {
        EXPECT_EQ(all[i].cmd, 9u);
        EXPECT_GE(all[i + 1].cmd, 1u);
        EXPECT_LE(all[i + 1].cmd, 3u);
    }
}

TEST_F(DevsimFaults, ConflictAnswersEverySearchTwiceWithTwoMacs) {
    start_fleet(2, {{1, "conflict"}});
    auto answers = directed_search(1);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].answer.ip, ips[1]);
    EXPECT_EQ(answers[1].answer.ip, ips[1]);
    EXPECT_EQ(answers[0].from, ips[1]);
    EXPECT_EQ(answers[1].from, ips[1]);
    EXPECT_NE(answers[0].answer.mac, answers[1].answer.mac);
    EXPECT_EQ(directed_search(0).size(), 1u);
}

TEST_F(DevsimFaults, FailFirstFailsOnlyTheFirstConnections) {
    start_fleet(1, {{0, "fail-first=2"}});
    const Image img = make_image(6000, 6);
    std::vector<std::string> finals;
    for (int i = 0; i < 3; ++i) {
        UpgradeClient c;
        auto recs = known(upgrade(0, img, c));
        finals.push_back(recs.empty() ? "" : recs.back());
    }
    EXPECT_EQ(finals, (std::vector<std::string>{"F0", "F0", "F1"}));
    auto lines = wait_record_lines(record, ips[0], 3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(json_field(lines[0], "reason"), "fail-first");
    EXPECT_EQ(json_field(lines[2], "attempt"), "3");
}

// "first=N" makes any fault transient: it strikes on the first N connections, then the device
// behaves, and the record tells the connections apart.
TEST_F(DevsimFaults, FirstLimitsFaultsToTheFirstConnections) {
    start_fleet(3, {{0, "drop=3000,junk,first=2"}, {1, "refuse first=1"}, {2, "fail,first=1"}});
    const Image img = make_image(9000, 11);
    std::vector<std::string> drop_dev;
    for (int i = 0; i < 3; ++i) {
        UpgradeClient c;
        ASSERT_EQ(c.connect(dev(0), options.upgrade_port, 1000ms), ConnectResult::connected);
        c.send_image(img, img.data.size());
        auto all = c.read_until_finish(5s);
        auto recs = known(all);
        drop_dev.push_back(recs.empty() ? "" : recs.back());
        // Junk travels with the other transient faults: gone once they are.
        EXPECT_EQ(all.size(), i < 2 ? 2 * recs.size() : recs.size()) << "connection " << i + 1;
    }
    // S30 is due at 2700 bytes, before the drop at 3000.
    EXPECT_EQ(drop_dev, (std::vector<std::string>{"S30", "S30", "F1"}));
    auto drops = wait_record_lines(record, ips[0], 3);
    ASSERT_EQ(drops.size(), 3u);
    EXPECT_EQ(json_field(drops[0], "result"), "dropped");
    EXPECT_EQ(json_field(drops[0], "received"), "3000");
    EXPECT_EQ(json_field(drops[1], "result"), "dropped");
    EXPECT_EQ(json_field(drops[2], "received"), "9000");

    // The refused connection is completed by the kernel, then reset before anything is read; the
    // reset may reach the client before it has seen the connection complete.
    {
        UpgradeClient c;
        const ConnectResult r = c.connect(dev(1), options.upgrade_port, 1000ms);
        if (r == ConnectResult::connected) {
            c.send_image(img, img.data.size());
            EXPECT_TRUE(known(c.read_until_finish(2s)).empty());
            EXPECT_TRUE(c.peer_closed);
        } else {
            EXPECT_EQ(r, ConnectResult::error);
        }
    }
    UpgradeClient ok1;
    EXPECT_EQ(known(upgrade(1, img, ok1)).back(), "F1");
    ok1.close();
    auto refused = wait_record_lines(record, ips[1], 2);
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(json_field(refused[0], "result"), "refused");
    EXPECT_EQ(json_field(refused[0], "attempt"), "1");
    EXPECT_EQ(json_field(refused[1], "attempt"), "2");

    UpgradeClient f0, f1;
    EXPECT_EQ(known(upgrade(2, img, f0)).back(), "F0");
    f0.close();
    EXPECT_EQ(known(upgrade(2, img, f1)).back(), "F1");
}

TEST_F(DevsimFaults, NoReturnStaysAwayAfterItsReboot) {
    auto opts = fast_options();
    opts.reboot_ms = 200;
    start_fleet(2, {{0, "no-return"}}, opts);
    UpgradeClient c;
    EXPECT_EQ(known(upgrade(0, make_image(4000, 7), c)).back(), "F1");
    ASSERT_TRUE(c.send_reboot());
    EXPECT_TRUE(c.wait_closed(3s));
    // The same reboot brings a normal device back well within this time.
    UpgradeClient d;
    EXPECT_EQ(known(upgrade(1, make_image(4000, 8), d)).back(), "F1");
    ASSERT_TRUE(d.send_reboot());
    EXPECT_TRUE(d.wait_closed(3s));
    EXPECT_TRUE(
        wait_for_connect_result(dev(1), options.upgrade_port, ConnectResult::connected, 10s));
    EXPECT_EQ(directed_search(1).size(), 1u);

    UpgradeClient probe;
    EXPECT_EQ(probe.connect(dev(0), options.upgrade_port, 500ms), ConnectResult::refused);
    EXPECT_TRUE(directed_search(0).empty());
}

TEST_F(DevsimFaults, BurnMsSlowsOnlyThatDevice) {
    start_fleet(2, {{0, "burn-ms=1000"}});
    const Image img = make_image(2000, 9);
    auto t0 = Clock::now();
    UpgradeClient slow;
    EXPECT_EQ(known(upgrade(0, img, slow)).back(), "F1");
    EXPECT_GE(Clock::now() - t0, 900ms);
}

TEST_F(DevsimFaults, FaultsCombine) {
    start_fleet(1, {{0, "junk,fail conflict"}});
    UpgradeClient c;
    auto all = upgrade(0, make_image(3000, 10), c);
    EXPECT_EQ(known(all), normal_sequence(0));
    EXPECT_EQ(all.size(), 2 * normal_sequence(0).size());
    EXPECT_EQ(directed_search(0).size(), 2u);
}

}  // namespace
}  // namespace quillon::labtest
