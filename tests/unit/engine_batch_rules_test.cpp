// SPDX-License-Identifier: Apache-2.0
// The rules a front end may set on a batch: the halt threshold (a limit of failed devices per
// pass) and the canary (a first wave run alone), on their own and with the driver and fake
// devices on 127.0.0.x.
#include "engine/canary_wave.h"
#include "engine/failure_threshold.h"
#include "engine/observer_fan.h"
#include "engine_driver_support.h"

namespace quillon::test {
namespace {

DeviceResult result(int pass, int row, bool success, const std::string& ip = "10.0.0.1") {
    DeviceResult r;
    r.pass = pass;
    r.row = row;
    r.success = success;
    r.ip = ip;
    return r;
}

ComeBackResult back(int row, bool checked, bool came_back) {
    ComeBackResult c;
    c.row = row;
    c.checked = checked;
    c.came_back = came_back;
    return c;
}

// ------------------------------------------------------------------ the limit's text and sums

TEST(FailureLimit, ReadsADeviceCountOrAShareAndNothingElse) {
    std::string err;
    for (auto [text, count, percent] : {std::tuple{"0", 0, false},
                                        {"2", 2, false},
                                        {"300", 300, false},
                                        {"0%", 0, true},
                                        {"10%", 10, true},
                                        {"100%", 100, true}}) {
        const auto l = parse_failure_limit(text, err);
        ASSERT_TRUE(l) << text << ": " << err;
        EXPECT_EQ(l->count, count) << text;
        EXPECT_EQ(l->percent, percent) << text;
        EXPECT_EQ(l->text(), text);
    }
    for (const char* bad : {"", "%", "-1", "+2", "101%", "2.5%", "2.5", " 2", "2 ", "2%%", "%2",
                            "two", "1234567", "99999999999999999999", "2\n", "0x10"}) {
        err.clear();
        EXPECT_FALSE(parse_failure_limit(bad, err)) << bad;
        EXPECT_FALSE(err.empty()) << bad;
    }
}

TEST(FailureLimit, MoreThanTheLimitIsTooManyAndAShareIsOfTheDevicesOfThePass) {
    const FailureLimit two{2, false};
    EXPECT_FALSE(two.exceeded(2, 10));
    EXPECT_TRUE(two.exceeded(3, 10));
    EXPECT_EQ(two.allowed(1000), 2);
    const FailureLimit none{0, false};
    EXPECT_FALSE(none.exceeded(0, 5));
    EXPECT_TRUE(none.exceeded(1, 5));
    const FailureLimit share{20, true};
    EXPECT_FALSE(share.exceeded(2, 10));  // 20 % exactly is not more than 20 %
    EXPECT_TRUE(share.exceeded(3, 10));
    EXPECT_FALSE(share.exceeded(1, 7));  // 14 %
    EXPECT_TRUE(share.exceeded(2, 7));   // 28 %: allowed is 1.4, rounded down
    EXPECT_EQ(share.allowed(7), 1);
    EXPECT_FALSE((FailureLimit{100, true}).exceeded(5, 5));
    EXPECT_TRUE((FailureLimit{0, true}).exceeded(1, 300));
    // No overflow for a large pass.
    EXPECT_FALSE((FailureLimit{50, true}).exceeded(1000000, 2000000));
    EXPECT_TRUE((FailureLimit{50, true}).exceeded(1000001, 2000000));
}

// ------------------------------------------------------------------ the threshold on its own

TEST(FailureThreshold, TellsOnceWhenAPassGoesOverItsLimitAndCountsEachPassAfresh) {
    std::vector<BatchRuleEvent> told;
    FailureThreshold t(FailureLimit{2, false}, [&](const BatchRuleEvent& e) { told.push_back(e); });
    UpgradeEngine engine;
    t.images_loaded(engine);
    t.pass_started(0, 10, false);
    t.device_ended(result(0, 0, false));
    t.device_ended(result(0, 1, true));
    t.device_ended(result(0, 2, false));
    EXPECT_TRUE(told.empty());
    EXPECT_FALSE(t.reached());
    // A retry pass counts its own failures.
    t.pass_started(1, 2, false);
    t.device_ended(result(1, 0, false));
    t.device_ended(result(1, 2, false));
    EXPECT_TRUE(told.empty());
    t.pass_started(2, 5, false);
    for (int r = 0; r < 5; ++r) t.device_ended(result(2, r, false));
    ASSERT_EQ(told.size(), 1u);  // the third failure, not the fourth and fifth
    EXPECT_EQ(told[0].rule, "max_failed");
    EXPECT_EQ(told[0].outcome, "reached");
    EXPECT_TRUE(told[0].halts);
    EXPECT_EQ(told[0].pass, 2);
    EXPECT_EQ(told[0].why,
              "max-failed 2 reached: 3 of 5 devices failed in pass 3 (2 allowed); the "
              "devices in hand finish, none begins, no retry pass runs");
    ASSERT_TRUE(t.reached());
    EXPECT_EQ(t.reached()->why, told[0].why);
    // The next batch starts clean.
    t.images_loaded(engine);
    EXPECT_FALSE(t.reached());
}

TEST(FailureThreshold, AShareIsTakenOfThePassUnderWay) {
    int told = 0;
    std::string why;
    FailureThreshold t(FailureLimit{25, true}, [&](const BatchRuleEvent& e) {
        ++told;
        why = e.why;
    });
    t.pass_started(0, 8, false);
    t.device_ended(result(0, 0, false));
    t.device_ended(result(0, 1, false));
    EXPECT_EQ(told, 0);  // 2 of 8 is 25 %
    t.device_ended(result(0, 2, false));
    EXPECT_EQ(told, 1);
    EXPECT_EQ(why.rfind("max-failed 25% reached: 3 of 8 devices failed in pass 1 (2 allowed)", 0),
              0u)
        << why;
}

// ------------------------------------------------------------------ the canary on its own

struct CanaryList : ::testing::Test {
    TempDir dir;
    LogFile report;
    HeadlessWindow window{report, {"ALL"}};
    std::vector<BatchRuleEvent> told;
    CanaryWave wave{2, [this](const BatchRuleEvent& e) { told.push_back(e); }};

    CanaryList() { ui_texts().fill(true); }
    // Rows 10.0.0.1 .. n, ticked as `ticks` says.
    void rows(const std::vector<bool>& ticks) {
        window.run([&] {
            DeviceTable& t = window.device_table();
            for (std::size_t r = 0; r < ticks.size(); ++r) {
                t.append_row(std::to_string(r + 1));
                t.set_cell(int(r), 1, "10.0.0." + std::to_string(r + 1));
                t.set_check(int(r), ticks[r]);
            }
        });
    }
    std::vector<bool> ticks() {
        std::vector<bool> out;
        for (int r = 0; r < window.row_count(); ++r) out.push_back(window.get_check(r));
        return out;
    }
};

TEST_F(CanaryList, TheFirstTickedRowsGoAloneAndTheOthersFollowWhenAllAreUpgradedAndBack) {
    rows({false, true, true, true, false, true});
    ASSERT_TRUE(wave.hold_back(window));
    EXPECT_TRUE(wave.in_wave());
    // Rows 1 and 2 are the wave; 3 and 5 wait; the unticked rows stay out of everything.
    EXPECT_EQ(ticks(), (std::vector<bool>{false, true, true, false, false, false}));
    EXPECT_TRUE(told.empty());
    wave.device_ended(result(0, 1, true, "10.0.0.2"));
    wave.device_ended(result(0, 2, true, "10.0.0.3"));
    wave.device_came_back(back(1, true, true));
    wave.device_came_back(back(2, true, true));
    window.run([&] {
        window.device_table().set_check(1, false);  // as the device ends leave them
        window.device_table().set_check(2, false);
    });
    EXPECT_TRUE(wave.release(window, true));
    EXPECT_FALSE(wave.in_wave());
    EXPECT_EQ(ticks(), (std::vector<bool>{false, false, false, true, false, true}));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rule, "canary");
    EXPECT_EQ(told[0].outcome, "passed");
    EXPECT_FALSE(told[0].halts);
    EXPECT_EQ(told[0].rows, (std::vector<int>{1, 2}));
    EXPECT_EQ(told[0].why, "canary passed: 2 of 2 upgraded and back; the other 2 devices follow");
    // Results of later passes are none of the wave's business.
    wave.device_ended(result(1, 1, false));
    EXPECT_EQ(wave.decision()->outcome, "passed");
}

TEST_F(CanaryList, AFailedOrMissingDeviceKeepsTheOthersUntouchedAndSaysWhich) {
    rows({true, true, true, true});
    ASSERT_TRUE(wave.hold_back(window));
    wave.device_ended(result(0, 0, true, "10.0.0.1"));
    wave.device_ended(result(0, 1, false, "10.0.0.2"));
    wave.device_came_back(back(0, true, false));
    EXPECT_FALSE(wave.release(window, true));
    EXPECT_EQ(ticks(), (std::vector<bool>{true, true, false, false}));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].outcome, "failed");
    EXPECT_TRUE(told[0].halts);
    EXPECT_EQ(
        told[0].why,
        "canary failed: 10.0.0.1 not back, 10.0.0.2 failed; the other 2 devices were not touched");

    // A device the check left unchecked (the wait was stopped), or that was never ended, is no
    // success either.
    told.clear();
    window.run([&] {
        for (int r = 0; r < 4; ++r) window.device_table().set_check(r, true);
    });
    ASSERT_TRUE(wave.hold_back(window));
    wave.device_ended(result(0, 0, true, "10.0.0.1"));
    wave.device_came_back(back(0, false, false));
    EXPECT_FALSE(wave.release(window, true));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(
        told[0].why,
        "canary failed: 10.0.0.1 not back, 10.0.0.2 not upgraded; the other 2 devices were not touched");
}

TEST_F(CanaryList, WithoutTheComeBackCheckTheUpgradeAloneDecidesAndItIsSaid) {
    rows({true, true, true});
    ASSERT_TRUE(wave.hold_back(window));
    wave.device_ended(result(0, 0, true, "10.0.0.1"));
    wave.device_ended(result(0, 1, true, "10.0.0.2"));
    EXPECT_TRUE(wave.release(window, false));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].outcome, "passed");
    EXPECT_NE(told[0].why.find("the come-back check is off, so none was seen back"),
              std::string::npos)
        << told[0].why;

    // With the check meant to run, the same results (no come-back result) do not pass.
    told.clear();
    rows({true, true, true});
    window.run([&] { window.device_table().set_check(0, true); });
    CanaryWave strict{1, [this](const BatchRuleEvent& e) { told.push_back(e); }};
    ASSERT_TRUE(strict.hold_back(window));
    strict.device_ended(result(0, 0, true, "10.0.0.1"));
    EXPECT_FALSE(strict.release(window, true));
    EXPECT_NE(told.back().why.find("10.0.0.1 not seen back"), std::string::npos) << told.back().why;
}

TEST_F(CanaryList, NoMoreDevicesThanTheCanaryRunAsOneBatchAndItIsSaid) {
    rows({true, false, true});
    EXPECT_FALSE(wave.hold_back(window));
    EXPECT_FALSE(wave.in_wave());
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, true}));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].outcome, "whole batch");
    EXPECT_FALSE(told[0].halts);
    EXPECT_EQ(
        told[0].why,
        "canary of 2: the batch has only 2 devices, so they are upgraded as one batch without a canary");
}

// ------------------------------------------------------------------ with the driver

// The driver's observer and the rules' own, as quillon-cli wires them.
struct DriverRules : DriverTest {
    ObserverFan fan;
    std::vector<BatchRuleEvent> told;
    std::mutex told_lock;
    void tell(const BatchRuleEvent& e) {
        std::lock_guard l(told_lock);
        told.push_back(e);
    }
    DriverRules() {
        fan.add(&observer);
        engine.m_observer = &fan;
    }
    std::vector<std::string> taken_ips() const {
        std::vector<std::string> out;
        for (auto& r : observer.results()) out.push_back(r.ip);
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(DriverRules, AFailingCanaryLeavesEveryOtherDeviceUntouched) {
    const auto addr = ips(71, 6);
    make_fleet(addr);
    images({1500});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    fleet->set(addr[1], {0, true});
    CanaryWave wave(2, [this](const BatchRuleEvent& e) { tell(e); });
    fan.add(&wave);
    engine.set_first_wave(&wave);
    ASSERT_TRUE(start(3, true));
    ASSERT_TRUE(wait_batch());

    for (std::size_t i = 2; i < addr.size(); ++i) {
        EXPECT_EQ(fleet->connections(addr[i]), 0) << addr[i];
        EXPECT_FALSE(row(int(i)).ticked) << i;
        EXPECT_EQ(row(int(i)).cells[col_stat], T(TextId::st_ready)) << i;
    }
    // One pass over the wave, whatever auto-retry says.
    ASSERT_EQ(observer.passes().size(), 1u);
    EXPECT_EQ(observer.passes()[0].total, 2);
    EXPECT_EQ(fleet->connections(addr[1]), 3);  // the attempts of its one image
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].why,
              "canary failed: " + addr[1] + " failed; the other 4 devices were not touched");
    EXPECT_EQ(widgets().messages.back(), "The bulk upgrade process stop !");
}

TEST_F(DriverRules, APassingCanaryGoesOnToAllWithItsOwnRetries) {
    const auto addr = ips(81, 5);
    make_fleet(addr);
    images({1500});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    fleet->set(addr[3], {3, false});  // fails its first pass after the canary, then works
    CanaryWave wave(2, [this](const BatchRuleEvent& e) { tell(e); });
    fan.add(&wave);
    engine.set_first_wave(&wave);
    ASSERT_TRUE(start(2, true));
    ASSERT_TRUE(wait_batch());

    ASSERT_EQ(observer.passes().size(), 3u);
    EXPECT_EQ(observer.ips_of_pass(0), (std::vector<std::string>{addr[0], addr[1]}));
    EXPECT_EQ(observer.ips_of_pass(1), (std::vector<std::string>{addr[2], addr[3], addr[4]}));
    EXPECT_EQ(observer.ips_of_pass(2), std::vector<std::string>{addr[3]});
    for (int r = 0; r < 5; ++r) EXPECT_EQ(row(r).cells[col_stat], "success") << r;
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].outcome, "passed");
    // No come-back watcher in this test: judged by the upgrade alone.
    EXPECT_NE(told[0].why.find("come-back check is off"), std::string::npos);
}

TEST_F(DriverRules, AThresholdPassedStopsAsStopDoesAndNoRetryPassRuns) {
    const auto addr = ips(91, 10);
    make_fleet(addr);
    images({1500});
    for (auto& ip : addr) add_row(ip, mac_of(ip));
    for (int i : {0, 1, 2, 3, 4}) fleet->set(addr[std::size_t(i)], {0, true});
    std::atomic<int> stops{0};
    FailureThreshold t(FailureLimit{2, false}, [&](const BatchRuleEvent& e) {
        tell(e);
        ++stops;
        // The graceful stop as the command line asks for it: the flag, and STOP disabled
        // through the window's own thread (nothing waits under g_list_lock).
        engine.m_running = 0;
        window.post([this] { window.set_stop_enabled(false); });
    });
    fan.add(&t);
    ASSERT_TRUE(start(1, true));
    ASSERT_TRUE(wait_batch());

    // One worker: the failing rows come first, so the third failure is the third device; the
    // fourth is never begun.
    EXPECT_EQ(stops.load(), 1);
    ASSERT_EQ(observer.passes().size(), 1u);
    EXPECT_EQ(taken_ips(), (std::vector<std::string>{addr[0], addr[1], addr[2]}));
    for (std::size_t i = 3; i < addr.size(); ++i)
        EXPECT_EQ(fleet->connections(addr[i]), 0) << addr[i];
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].pass, 0);
    EXPECT_EQ(widgets().messages.back(), "The bulk upgrade process terminate !");
}

}  // namespace
}  // namespace quillon::test
