// SPDX-License-Identifier: Apache-2.0
// The come-back watcher behind the headless window: which answers count, what the rows, the
// report and the observer get, and how the wait for the last device ends.
#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "discovery/come_back_tap.h"
#include "engine/come_back_watch.h"
#include "engine_test_support.h"
#include "log/log_file.h"
#include "texts/ui_texts.h"
#include "window/headless_window.h"
#include "support/headless_cells.h"

namespace quillon::test {
namespace {

constexpr int kColStat = 6;
constexpr int kColVersion = 9;

class ResultLog : public BatchObserver {
public:
    void device_came_back(const ComeBackResult& r) override {
        std::lock_guard l(m_);
        results.push_back(r);
    }
    std::vector<ComeBackResult> all() {
        std::lock_guard l(m_);
        return results;
    }
    std::map<std::string, ComeBackResult> by_ip() {
        std::map<std::string, ComeBackResult> m;
        for (const auto& r : all()) m[r.ip] = r;
        return m;
    }

private:
    std::mutex m_;
    std::vector<ComeBackResult> results;
};

class ComeBackTest : public ::testing::Test {
protected:
    TempDir dir;
    LogFile report;
    std::unique_ptr<HeadlessWindow> window;
    RecordingSearch search;
    ResultLog results;
    ComeBackWatch watch;
    Timing saved = timing();

    void SetUp() override {
        ui_texts().fill(true);
        timing().come_back_interval = 20ms;
        timing().driver_poll = 5ms;
        report.Open(dir / "upgrade_user.html");
        window = std::make_unique<HeadlessWindow>(report, std::vector<std::string>{"ALL"});
    }
    void TearDown() override { timing() = saved; }

    int add_row(const std::string& ip, const std::string& mac, const std::string& version) {
        FoundDevice d;
        d.ip = ip;
        d.mac = mac;
        d.version = version;
        d.status = "success";
        d.named = true;
        return window->insert_found_device(d);
    }
    std::string report_text() { return read_file(dir / "upgrade_user.html"); }
};

// Back with the new version, back with the old one, never back: the row, the report line and the
// observer's result of each; the status line counts the devices still awaited.
TEST_F(ComeBackTest, EachDeviceEndsBackOrNotBackWithItsRowAndReportLine) {
    watch.set_limit(600ms);
    const int r0 = add_row("10.1.0.1", "02:00:00:00:00:01", "1.0");
    const int r1 = add_row("10.1.0.2", "02:00:00:00:00:02", "1.0");
    const int r2 = add_row("10.1.0.3", "02:00:00:00:00:03", "1.0");
    // The devices answer every directed search, as a device that is up does.
    search.on_search = [&] {
        const std::string to = search.calls.back().second;
        if (to == "10.1.0.1") watch.answer("10.1.0.1", "02:00:00:00:00:01", "2.0");
        if (to == "10.1.0.2") watch.answer("10.1.0.2", "02:00:00:00:00:02", "1.0");
    };
    // The driver's end of a successful device unticks its row before handing it over.
    for (int r : {r0, r1, r2}) window->set_check(r, false);
    watch.begin_batch(*window, &search, &results, true);
    watch.watch(r0, "10.1.0.1", "02:00:00:00:00:01", "1.0");
    watch.watch(r1, "10.1.0.2", "02:00:00:00:00:02", "1.0");
    watch.watch(r2, "10.1.0.3", "02:00:00:00:00:03", "1.0");
    EXPECT_TRUE(watch.wait_all([] { return false; }));
    EXPECT_EQ(watch.awaited(), 0);

    auto r = results.by_ip();
    ASSERT_EQ(results.all().size(), 3u);
    EXPECT_TRUE(r["10.1.0.1"].checked && r["10.1.0.1"].came_back);
    EXPECT_EQ(r["10.1.0.1"].version_after, "2.0");
    EXPECT_TRUE(r["10.1.0.2"].came_back);
    EXPECT_EQ(r["10.1.0.2"].version_before, r["10.1.0.2"].version_after);
    EXPECT_TRUE(r["10.1.0.3"].checked);
    EXPECT_FALSE(r["10.1.0.3"].came_back);
    EXPECT_EQ(r["10.1.0.3"].row, r2);

    EXPECT_EQ(test::cell_of(*window, r0, kColVersion), "2.0");
    EXPECT_EQ(test::cell_of(*window, r1, kColVersion), "1.0");
    EXPECT_EQ(test::cell_of(*window, r2, kColStat), "not back");
    EXPECT_EQ(test::cell_of(*window, r0, kColStat), "success");
    EXPECT_FALSE(window->get_check(r2));

    const std::string rep = report_text();
    EXPECT_NE(
        rep.find(
            "[CHECK] device back: IP:10.1.0.1 MAC:02:00:00:00:00:01 version:1.0 -&gt; 2.0 (0 s)"),
        std::string::npos)
        << rep;
    EXPECT_NE(rep.find("[CHECK] device not back: IP:10.1.0.3 MAC:02:00:00:00:00:03 after 0 s"),
              std::string::npos)
        << rep;
    // The last device awaited is the one that never came back.
    EXPECT_EQ(window->widgets().status_line, "Waiting for 1 device(s) to come back");
}

// Only an answer to a search sent since the reboot, from the address, with the row's MAC counts;
// a row without a MAC takes any MAC.
TEST_F(ComeBackTest, OnlyAnAnswerAfterItsSearchWithTheRowsMacCounts) {
    watch.set_limit(30s);
    std::atomic<int> searched{0};
    search.on_search = [&] { ++searched; };
    watch.begin_batch(*window, &search, &results, true);
    const int r0 = add_row("10.1.0.1", "02:00:00:00:00:01", "1.0");
    const int r1 = add_row("10.1.0.2", "", "");
    watch.watch(r0, "10.1.0.1", "02:00:00:00:00:01", "1.0");
    // Before any search: an answer that may have been given before the device went down.
    watch.answer("10.1.0.1", "02:00:00:00:00:01", "2.0");
    EXPECT_EQ(watch.awaited(), 1);
    ASSERT_TRUE(wait_until([&] { return searched.load() > 0; }, 5s));
    watch.answer("10.1.0.1", "06:C0:00:00:00:01", "2.0");  // another device on the address
    watch.answer("10.1.0.9", "02:00:00:00:00:01", "2.0");  // another address
    watch.answer(nullptr, "02:00:00:00:00:01", "2.0");
    EXPECT_EQ(watch.awaited(), 1);
    watch.answer("10.1.0.1", "02:00:00:00:00:01", "2.0");
    EXPECT_EQ(watch.awaited(), 0);

    watch.watch(r1, "10.1.0.2", "", "");
    ASSERT_TRUE(wait_until(
        [&] {
            std::lock_guard l(search.m_);
            for (auto& c : search.calls)
                if (c.second == "10.1.0.2") return true;
            return false;
        },
        5s));
    watch.answer("10.1.0.2", "02:AA:00:00:00:02", nullptr);
    watch.wait_all([] { return false; });
    auto r = results.by_ip();
    EXPECT_TRUE(r["10.1.0.2"].came_back);
    EXPECT_EQ(r["10.1.0.2"].mac, "02:AA:00:00:00:02");
    EXPECT_EQ(r["10.1.0.2"].version_after, "");
    // Every search is a directed one, through the first socket only.
    for (auto& c : search.calls) EXPECT_EQ(c.first, 0);
}

// STOP ends the wait at once: what is not back yet is reported as not checked.
TEST_F(ComeBackTest, StopEndsTheWaitAndLeavesTheRestUnchecked) {
    watch.set_limit(3600s);
    watch.begin_batch(*window, &search, &results, true);
    const int r0 = add_row("10.1.0.1", "02:00:00:00:00:01", "1.0");
    watch.watch(r0, "10.1.0.1", "02:00:00:00:00:01", "1.0");
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        wait_until([&] { return !window->widgets().status_line.empty(); }, 5s);
        stop = true;
    });
    watch.wait_all([&] { return stop.load(); });
    stopper.join();
    ASSERT_EQ(results.all().size(), 1u);
    EXPECT_FALSE(results.all()[0].checked);
    EXPECT_EQ(test::cell_of(*window, r0, kColStat), "success");
    EXPECT_NE(report_text().find("[CHECK] device not checked: IP:10.1.0.1 "), std::string::npos);
    // A device that ends after the stop is not watched either.
    watch.watch(r0, "10.1.0.1", "02:00:00:00:00:01", "1.0");
    watch.wait_all([] { return true; });
    EXPECT_EQ(results.all().size(), 2u);
    EXPECT_FALSE(results.all()[1].checked);
}

// A row whose address is no IPv4 address cannot be searched for: it is reported not checked at
// once, never searched for, and the wait does not hang on it for the whole limit.
TEST_F(ComeBackTest, ARowWithoutAValidAddressIsNotCheckedAndNeverSearched) {
    watch.set_limit(3600s);
    watch.begin_batch(*window, &search, &results, true);
    const int r0 = add_row("10.1.0.999", "02:00:00:00:00:01", "1.0");
    watch.watch(r0, "10.1.0.999", "02:00:00:00:00:01", "1.0");
    watch.answer("10.1.0.999", "02:00:00:00:00:01", "2.0");  // no address: ignored
    watch.answer(nullptr, nullptr, nullptr);
    EXPECT_TRUE(wait_until([&] { return results.all().size() == 1u; }, 5s));
    watch.wait_all([] { return false; });
    ASSERT_EQ(results.all().size(), 1u);
    EXPECT_FALSE(results.all()[0].checked);
    EXPECT_EQ(results.all()[0].ip, "10.1.0.999");
    {
        std::lock_guard l(search.m_);
        EXPECT_TRUE(search.calls.empty());
    }
    EXPECT_EQ(watch.awaited(), 0);
}

// Off: a limit of 0, a simulated batch, or no way to search. Nothing is watched or reported.
TEST_F(ComeBackTest, NothingIsWatchedWhenTheCheckIsOff) {
    const int r0 = add_row("10.1.0.1", "02:00:00:00:00:01", "1.0");
    struct Case {
        std::chrono::milliseconds limit;
        bool check;
        SearchSender* sender;
    };
    for (const Case& c :
         {Case{0ms, true, &search}, Case{1s, false, &search}, Case{1s, true, nullptr}}) {
        watch.set_limit(c.limit);
        watch.begin_batch(*window, c.sender, &results, c.check);
        watch.watch(r0, "10.1.0.1", "02:00:00:00:00:01", "1.0");
        EXPECT_EQ(watch.awaited(), 0);
        EXPECT_FALSE(watch.wait_all([] { return false; }));
    }
    EXPECT_TRUE(results.all().empty());
    EXPECT_TRUE(window->widgets().status_line.empty());
    watch.set_limit(-5ms);  // taken as 0
    EXPECT_EQ(watch.limit(), 0ms);
}

// Hundreds of devices answering at once, some twice: each is reported exactly once.
TEST_F(ComeBackTest, ManyDevicesAreEachReportedOnce) {
    watch.set_limit(20s);
    timing().come_back_interval = 1ms;
    constexpr int kN = 400;
    for (int i = 0; i < kN; ++i)
        add_row("10.2." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1), "", "1");
    search.on_search = [&] {
        const std::string to = search.calls.back().second;
        watch.answer(to.c_str(), "02:00", "2");
        watch.answer(to.c_str(), "02:00", "2");
    };
    watch.begin_batch(*window, &search, &results, true);
    for (int i = 0; i < kN; ++i) watch.watch(i, test::cell_of(*window, i, 1), "", "1");
    watch.wait_all([] { return false; });
    std::set<int> rows;
    for (const auto& r : results.all()) {
        EXPECT_TRUE(r.came_back) << r.ip;
        EXPECT_TRUE(rows.insert(r.row).second) << "twice: " << r.ip;
    }
    EXPECT_EQ(rows.size(), std::size_t(kN));
}

// The tap hands every answer to the intake as it came, and the watcher sees it too.
TEST_F(ComeBackTest, TheTapPassesEveryAnswerOnUnchanged) {
    struct Sink : FoundDeviceSink {
        std::vector<std::string> got;
        void add_found_device(const char* ip, const char*, const char* mac, const char* version,
                              const char* status) override {
            got.push_back(std::string(ip ? ip : "-") + "|" + (mac ? mac : "-") + "|" +
                          (version ? version : "-") + "|" + status);
        }
    } intake;
    watch.set_limit(30s);
    watch.begin_batch(*window, &search, &results, true);
    watch.watch(add_row("10.1.0.1", "", "1"), "10.1.0.1", "", "1");
    ASSERT_TRUE(wait_until(
        [&] {
            std::lock_guard l(search.m_);
            return !search.calls.empty();
        },
        5s));
    ComeBackTap tap(intake, watch);
    tap.add_found_device("10.1.0.7", "1", nullptr, "3", "Ready");
    ReceivedAnswer a;
    a.answer.ip = "10.1.0.1";
    a.answer.mac = "02:01";
    a.answer.version = "2";
    tap.add_found_devices({a}, "Ready");
    EXPECT_EQ(intake.got,
              (std::vector<std::string>{"10.1.0.7|-|3|Ready", "10.1.0.1|02:01|2|Ready"}));
    EXPECT_EQ(watch.awaited(), 0);
}

}  // namespace
}  // namespace quillon::test
