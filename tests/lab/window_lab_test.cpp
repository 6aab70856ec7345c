// SPDX-License-Identifier: Apache-2.0
// The real desktop program, offscreen, in the tool's namespace of the network lab: its start-up
// search finds the simulated fleet over lab0, START upgrades every device from a package with
// two workers, the end message appears and the report holds one success line per device and
// ends with the batch's SUMMARY line.
//
// Run by window_lab_test.sh inside ql-pc-<id>, from an empty working folder (the logs go to its
// "log"). Environment:
//   QL_WINLAB_PACKAGE   the firmware package (zip) that START asks for
//   QL_WINLAB_IPS       the fleet's addresses, separated by spaces
//   QL_WINLAB_SHOTS     optional: a folder for PNG screenshots of the window, idle with the
//                       discovered fleet and in the middle of the batch
//   QL_WINLAB_SHOT_TAG  optional: the screenshots' name suffix (for example "en" or "zh")
#include <QApplication>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/qt/quillon_app.h"
#include "platform/adapters.h"
#include "window/device_table.h"
#include "window_fixture.h"

namespace quillon::test {
namespace {

std::string env_or_empty(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::vector<std::string> split_words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// The MAC the simulator gives an address: 02:51 and the four octets in hex.
std::string sim_mac(const std::string& ip) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(ip.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "02:51:%02X:%02X:%02X:%02X", a, b, c, d);
    return buf;
}

// The user report's messages, without "<pre>[timestamp] " and "</pre>".
std::vector<std::string> report_messages(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
        const auto open = line.find("] ");
        const auto close = line.rfind("</pre>");
        if (line.rfind("<pre>[", 0) != 0 || open == std::string::npos ||
            close == std::string::npos || close < open) {
            out.push_back(line);  // kept whole: a malformed line shows in the failure
            continue;
        }
        out.push_back(line.substr(open + 2, close - open - 2));
    }
    return out;
}

class WindowLabTest : public ::testing::Test {
protected:
    TestDlg* dlg = nullptr;
    std::unique_ptr<CQuillonApp> app;
    std::vector<std::string> ips = split_words(env_or_empty("QL_WINLAB_IPS"));
    std::string package = env_or_empty("QL_WINLAB_PACKAGE");
    std::string shots = env_or_empty("QL_WINLAB_SHOTS");
    std::string shot_tag = env_or_empty("QL_WINLAB_SHOT_TAG");

    void SetUp() override {
        ASSERT_FALSE(ips.empty()) << "QL_WINLAB_IPS not set";
        ASSERT_FALSE(package.empty()) << "QL_WINLAB_PACKAGE not set";
        // The waits that only pace a real site; the exchange itself runs at full speed.
        Timing& t = timing();
        t = Timing{};
        t.conflict_wait_step = std::chrono::milliseconds(50);
        t.fake_extra_wait = std::chrono::milliseconds(20);
        t.fake_step_unit = std::chrono::milliseconds(2);
        t.connect_attempts = 3;
        t.connect_wait = std::chrono::milliseconds(1000);
        t.driver_poll = std::chrono::milliseconds(10);
        t.pass_settle = std::chrono::milliseconds(10);
        t.reboot_pause = std::chrono::milliseconds(10);
        t.search_window = std::chrono::milliseconds(1500);
        t.exchange_idle_limit = std::chrono::milliseconds(20000);
        t.come_back_interval = std::chrono::milliseconds(200);
    }
    void TearDown() override {
        app.reset();
        timing() = Timing{};
    }

    void start_app() {
        // Start-up broadcasts a search: only in the lab's tool namespace, where lab0 is the one
        // adapter besides loopback. Anywhere else nothing is started.
        const std::vector<Adapter> adapters = list_ipv4_adapters();
        ASSERT_TRUE(adapters.size() == 1 && adapters[0].name == "lab0" &&
                    adapters[0].ipv4 == "198.18.0.1")
            << "not in the lab's tool namespace (run by window_lab_test.sh): no search sent";
        AppOptions o;
        o.network = true;
        o.start_driver = true;
        o.make_window = [this] {
            auto d = std::make_unique<TestDlg>();
            dlg = d.get();
            return d;
        };
        app = std::make_unique<CQuillonApp>(std::move(o));
        ASSERT_EQ(app->init_instance(), 0);
        ASSERT_NE(dlg, nullptr);
        // Screenshots show every column of the list.
        if (!shots.empty()) dlg->resize(1000, 720);
    }

    template <class W = QWidget>
    W* ctl(int id) {
        W* w = dlg->findChild<W*>(QString::number(id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }
    int rows() { return dlg->port().row_count(); }
    std::string cell(int row, int col) { return table_of(*dlg).get_cell(row, col); }
    bool shown(const std::string& text) {
        for (const auto& s : dlg->shown) {
            if (s.text == text) return true;
        }
        return false;
    }
    std::string shown_texts() {
        std::string all;
        for (const auto& s : dlg->shown) all += "[" + s.text + "] ";
        return all;
    }

    void screenshot(const std::string& what) {
        if (shots.empty()) return;
        QCoreApplication::processEvents();
        const std::string path = shots + "/window_" + what +
                                 (shot_tag.empty() ? "" : "_" + shot_tag) + ".png";
        EXPECT_TRUE(dlg->grab().save(QString::fromStdString(path), "PNG")) << path;
        std::fprintf(stderr, "screenshot %s\n", path.c_str());
    }
};

TEST_F(WindowLabTest, StartupSearchFindsTheFleetAndStartUpgradesEveryDevice) {
    start_app();
    auto* adapter = ctl<QComboBox>(IDC_ADAPTER);
    ASSERT_NE(adapter, nullptr);
    // lab0 is the namespace's only adapter besides loopback, so it is chosen and bound.
    EXPECT_EQ(adapter->currentText().toStdString(), "lab0");
    EXPECT_EQ(ipv4_text(dlg->bind_addr()), "198.18.0.1");

    // The start-up search: every device once, and the search window closes by itself.
    const size_t n = ips.size();
    ASSERT_TRUE(wait_until([&] { return rows() >= static_cast<int>(n); }, std::chrono::seconds(10)))
        << rows() << " of " << n << " devices listed";
    auto* search = ctl<QPushButton>(IDC_SEARCH);
    ASSERT_TRUE(wait_until([&] { return search->isEnabled(); }, std::chrono::seconds(5)))
        << "search window still open";
    ASSERT_EQ(rows(), static_cast<int>(n)) << "a device listed twice";
    std::set<std::string> listed;
    for (int r = 0; r < rows(); ++r) {
        listed.insert(cell(r, col_ip));
        EXPECT_EQ(cell(r, col_mac), sim_mac(cell(r, col_ip))) << "row " << r;
        EXPECT_EQ(cell(r, col_version), "1.0.0") << "row " << r;
        EXPECT_FALSE(cell(r, col_type).empty()) << "row " << r;
    }
    EXPECT_EQ(listed, std::set<std::string>(ips.begin(), ips.end()));
    EXPECT_EQ(dlg->port().count_checked(), static_cast<int>(n));
    screenshot("idle");

    // START with no image chosen asks for a package: the test answers with the fleet's package.
    auto* threads = ctl<QComboBox>(IDC_THREADS);
    threads->setCurrentIndex(1);  // two workers
    dlg->files.push_back(package);
    auto* start = ctl<QPushButton>(IDC_START);
    start->click();
    ASSERT_TRUE(dlg->files.empty()) << "START did not ask for a package";
    EXPECT_FALSE(ctl<QLineEdit>(IDC_BOOT_PATH)->text().isEmpty())
        << "package not sorted into slots";
    EXPECT_FALSE(ctl<QLineEdit>(IDC_KERNEL_PATH)->text().isEmpty())
        << "package not sorted into slots";
    EXPECT_FALSE(start->isEnabled()) << "the batch did not begin: " << shown_texts();

    const std::string done = T(TextId::msg_batch_done);
    if (!shots.empty()) {
        // Mid-batch: a device is part-way through an image.
        auto* dev_bar = ctl<QProgressBar>(IDC_DEV_BAR);
        auto* all_bar = ctl<QProgressBar>(IDC_ALL_BAR);
        EXPECT_TRUE(wait_until(
            [&] {
                return shown(done) ||
                       (dev_bar->value() > 10 && dev_bar->value() < 90 && all_bar->value() > 0);
            },
            std::chrono::seconds(30)));
        EXPECT_FALSE(shown(done)) << "the batch ended before a mid-batch screenshot";
        screenshot("batch");
    }

    ASSERT_TRUE(wait_until([&] { return shown(done); }, std::chrono::seconds(45)))
        << "no end message; shown: " << shown_texts();
    EXPECT_TRUE(wait_until([&] { return start->isEnabled(); }, std::chrono::seconds(5)))
        << "not back to idle";
    char counter[32];
    std::snprintf(counter, sizeof counter, "(%3zu/%-3zu)", n, n);  // the counter's fixed widths
    EXPECT_EQ(ctl<QLabel>(IDC_COUNTER)->text().toStdString(), counter);
    EXPECT_EQ(ctl<QProgressBar>(IDC_ALL_BAR)->value(), 100);
    // Nothing but the end message: no failure, no address conflict.
    EXPECT_EQ(dlg->shown.size(), 1u) << shown_texts();

    const std::vector<std::string> msgs = report_messages("log/upgrade_user.html");
    for (const std::string& ip : ips) {
        const std::string want = "[SEARCH] upgrade success: IP:" + ip + " MAC:" + sim_mac(ip);
        int found = 0;
        for (const auto& m : msgs) found += (m == want);
        EXPECT_EQ(found, 1) << ip << ": success lines in the report";
    }
    for (const auto& m : msgs) EXPECT_EQ(m.find("failure"), std::string::npos) << m;
    // Every device came back from its reboot with the new version, which its row now shows.
    for (const std::string& ip : ips) {
        const std::string want = "[CHECK] device back: IP:" + ip + " MAC:" + sim_mac(ip) +
                                 " version:1.0.0 -&gt; 1.0.0-new (";
        int found = 0;
        for (const auto& m : msgs) found += m.rfind(want, 0) == 0 ? 1 : 0;
        EXPECT_EQ(found, 1) << ip << ": come-back lines in the report";
    }
    for (int r = 0; r < dlg->port().row_count(); ++r)
        EXPECT_EQ(cell(r, col_version), "1.0.0-new") << "row " << r;
    // The batch's summary ends the report the window opened.
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back(), "[SUMMARY] " + std::to_string(n) + (n == 1 ? " device" : " devices") +
                               ": " + std::to_string(n) + " upgraded and back");
    EXPECT_EQ(msgs.size(), 2 * n + 1)
        << "report lines beside the success, come-back and summary lines";
}

}  // namespace
}  // namespace quillon::test

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    quillon::test::set_wait_step(quillon::test::serve_window_events);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
