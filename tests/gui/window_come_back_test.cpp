// SPDX-License-Identifier: Apache-2.0
// The come-back check as the window shows it: the VERSION cell of a device that came back, the
// status word of one that did not, and the status line counting the devices still awaited, in
// both languages. The watcher runs on its own thread and reaches the window through its port,
// as in a batch; the window keeps serving events meanwhile.
#if QUILLON_HAVE_DESKTOP
#include <atomic>
#include <map>
#include <thread>

#include "engine/come_back_watch.h"
#include "engine/upgrade_engine.h"
#include "window_fixture.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;

// Devices that are up answer a directed search at once; the others stay silent.
class AnsweringDevices : public SearchSender {
public:
    ComeBackWatch* watch = nullptr;
    std::map<std::string, std::pair<std::string, std::string>> up;  // ip -> MAC, version
    void search(int, const char* target) override {
        auto it = target ? up.find(target) : up.end();
        if (it != up.end())
            watch->answer(target, it->second.first.c_str(), it->second.second.c_str());
    }
};

class ComeBackWindowTest : public WindowTest {
protected:
    ComeBackWatch watch;
    AnsweringDevices devices;
    std::atomic<bool> ended{false};
    std::thread driver;

    void TearDown() override {
        // The watcher's requests need the window thread: serve them until the wait is over.
        wait_until([&] { return ended.load(); }, std::chrono::seconds(10));
        if (driver.joinable()) driver.join();
        WindowTest::TearDown();
    }

    // Rows as a batch leaves them: listed, upgraded (unticked), then handed to the watcher from
    // a thread of its own that waits for the last result, as the driver does.
    void run_check(const std::vector<std::string>& ips) {
        timing().come_back_interval = 20ms;
        timing().driver_poll = 5ms;
        watch.set_limit(1500ms);
        devices.watch = &watch;
        for (std::size_t i = 0; i < ips.size(); ++i) {
            add_device(ips[i], "02:00:00:00:00:0" + std::to_string(i + 1), "PANEL", "V1.0");
            dlg->port().set_check(int(i), false);
            table_of(*dlg).set_cell(int(i), 6, T(TextId::st_success));
        }
        watch.begin_batch(dlg->port(), &devices, nullptr, true);
        driver = std::thread([this, ips] {
            for (std::size_t i = 0; i < ips.size(); ++i)
                watch.watch(int(i), ips[i], "02:00:00:00:00:0" + std::to_string(i + 1), "V1.0");
            watch.wait_all([] { return false; });
            ended = true;
        });
    }
};

TEST_F(ComeBackWindowTest, RowsShowTheAnsweredVersionOrNotBackAndTheStatusLineCounts) {
    devices.up["10.0.0.1"] = {"02:00:00:00:00:01", "V2.0"};
    devices.up["10.0.0.2"] = {"02:00:00:00:00:02", "V1.0"};  // the new image did not boot
    run_check({"10.0.0.1", "10.0.0.2", "10.0.0.3"});
    // Two are back at once; the third is awaited until its limit.
    EXPECT_TRUE(wait_until([&] {
        return text_of(IDC_STATUS_LINE) == "Waiting for 1 device(s) to come back";
    })) << text_of(IDC_STATUS_LINE);
    EXPECT_EQ(cell(0, 9), "V2.0");
    ASSERT_TRUE(wait_until([&] { return ended.load(); }));
    EXPECT_EQ(cell(0, 9), "V2.0");
    EXPECT_EQ(cell(1, 9), "V1.0");
    EXPECT_EQ(cell(2, 9), "V1.0");
    EXPECT_EQ(cell(0, 6), "success");
    EXPECT_EQ(cell(2, 6), "not back");
    for (int r = 0; r < 3; ++r) EXPECT_FALSE(dlg->port().get_check(r)) << r;
}

TEST_F(ComeBackWindowTest, ChineseStatusWordAndStatusLine) {
    ui_texts().fill(false);
    run_check({"10.0.0.9"});
    EXPECT_TRUE(wait_until([&] { return text_of(IDC_STATUS_LINE) == "等待 1 台设备重启上线"; }))
        << text_of(IDC_STATUS_LINE);
    ASSERT_TRUE(wait_until([&] { return ended.load(); }));
    EXPECT_EQ(cell(0, 6), "未上线");
}

}  // namespace
}  // namespace quillon::test
#endif
