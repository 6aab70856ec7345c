// SPDX-License-Identifier: Apache-2.0
// Start-up of the desktop program, without discovery sockets: the window, logs, settings and
// language, the first search (recorded, never sent) and its search window.
#ifdef QUILLON_HAVE_DESKTOP

#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <optional>
#include <sstream>

#include "app/qt/quillon_app.h"
#include "discovery/discovery_codec.h"
#include "log/debug_line.h"
#include "platform/unique_fd.h"
#include "platform/adapters.h"
#include "window_fixture.h"

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = std::string(old);
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class StartupTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    fs::path old_cwd;
    RecordingDiscovery discovery;
    TestDlg* dlg = nullptr;
    bool shown_before_message = true;
    std::unique_ptr<CQuillonApp> app;

    void SetUp() override {
        timing() = Timing{};
        timing().search_window = std::chrono::milliseconds(200);
        old_cwd = fs::current_path();
        fs::current_path(tmp.path().toStdString());
        ui_texts().use_english = false;
    }
    void TearDown() override {
        app.reset();
        fs::current_path(old_cwd);
        timing() = Timing{};
    }
    void write_config(const std::string& text) { std::ofstream("config.ini") << text; }

    void start(bool driver = false) {
        AppOptions o;
        o.network = false;
        o.discovery = &discovery;
        o.start_driver = driver;
        o.make_window = [this] {
            auto d = std::make_unique<TestDlg>();
            dlg = d.get();
            return d;
        };
        app = std::make_unique<CQuillonApp>(std::move(o));
        ASSERT_EQ(app->init_instance(), 0);
    }
    std::string start_text() {
        return dlg->findChild<QPushButton*>(QString::number(IDC_START))->text().toStdString();
    }
};

TEST_F(StartupTest, ChineseOnAChineseSystemWithoutSettings) {
    EnvVar a("LC_ALL", nullptr), m("LC_MESSAGES", nullptr), l("LANG", "zh_CN.UTF-8");
    start();
    EXPECT_EQ(start_text(), "升级");
    EXPECT_EQ(dlg->windowTitle().toStdString(), T(TextId::title));
    EXPECT_FALSE(ui_texts().english());
    EXPECT_TRUE(dlg->shown.empty());  // no fake-burn message
    EXPECT_FALSE(app->debug_mode());
    EXPECT_TRUE(fs::exists("log/upgrade_user.html"));
    EXPECT_FALSE(fs::exists("log/upgrade_dev.log"));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(app->engine().fake_burn(), 0);
    EXPECT_EQ(app->engine().window(), &dlg->port());
    // Type filter and threads in Chinese.
    auto* threads = dlg->findChild<QComboBox*>(QString::number(IDC_THREADS));
    EXPECT_EQ(threads->itemText(0).toStdString(), T(TextId::threads_prefix) + ":[1]");
}

TEST_F(StartupTest, SettingAndMarkerForceEnglishButCannotForceChinese) {
    {
        EnvVar a("LC_ALL", "zh_CN.UTF-8");
        write_config("[Settings]\nlanguage=en\n");
        start();
        EXPECT_EQ(start_text(), "START");
        app.reset();
    }
    {
        EnvVar a("LC_ALL", "zh_CN.UTF-8");
        write_config("[Settings]\nlanguage=EN\n");
        start();
        EXPECT_EQ(start_text(), "升级");
        app.reset();
    }
    {
        EnvVar a("LC_ALL", "zh_CN.UTF-8");
        write_config("[Settings]\nlanguage=ch\n");
        std::ofstream("test_language") << "";
        start();
        EXPECT_EQ(start_text(), "START");
        app.reset();
        fs::remove("test_language");
    }
    {
        EnvVar a("LC_ALL", "en_US.UTF-8");
        write_config("[Settings]\nlanguage=ch\n");
        start();
        EXPECT_EQ(start_text(), "START");
    }
}

TEST_F(StartupTest, FakeBurnIsAnnouncedBeforeTheWindowIsShown) {
    EnvVar a("LC_ALL", "en_US.UTF-8");
    write_config("[Settings]\nfake_burn=1\n");
    start();
    ASSERT_FALSE(dlg->shown.empty());
    EXPECT_EQ(dlg->shown.front().text, "fake burn!");
    EXPECT_EQ(app->engine().fake_burn(), 1);
}

TEST_F(StartupTest, DebugModeWritesTheDeviceLog) {
    EnvVar a("LC_ALL", "en_US.UTF-8");
    write_config("[Settings]\ndebug=2\n");
    start();
    EXPECT_TRUE(app->debug_mode());
    debug_line("upgrade thread %d\n", 3);
    std::ifstream dev("log/upgrade_dev.log");
    std::stringstream text;
    text << dev.rdbuf();
    EXPECT_NE(text.str().find("upgrade start !"), std::string::npos);
    // The diagnostic lines go into the debug log while the program runs.
    bool debug_log = false;
    for (const auto& e : fs::directory_iterator("log")) {
        if (e.path().filename().string().rfind("log_", 0) != 0) continue;
        debug_log = true;
        std::ifstream in(e.path(), std::ios::binary);
        const std::string lines{std::istreambuf_iterator<char>(in), {}};
        EXPECT_TRUE(lines.ends_with("upgrade thread 3\n")) << lines;
    }
    EXPECT_TRUE(debug_log);
}

TEST_F(StartupTest, FirstSearchAndItsSearchWindow) {
    EnvVar a("LC_ALL", "en_US.UTF-8");
    start();
    ASSERT_EQ(discovery.searches.size(), 1u);
    EXPECT_EQ(discovery.searches[0].both, 1);
    EXPECT_EQ(discovery.searches[0].target, "");
    auto* search = dlg->findChild<QPushButton*>(QString::number(IDC_SEARCH));
    ASSERT_TRUE(wait_until([&] { return !search->isEnabled(); }));
    EXPECT_EQ(dlg->flags().intake_closed.load(), 0);
    ASSERT_TRUE(wait_until([&] { return search->isEnabled(); }));
    EXPECT_EQ(dlg->flags().intake_closed.load(), 1);

    // The range start follows the machine's first adapter, or keeps the fixed default.
    const auto adapters = list_ipv4_adapters();
    auto* range_start = dlg->findChild<QLineEdit*>(QString::number(IDC_RANGE_START));
    if (adapters.empty()) {
        EXPECT_EQ(range_start->text().toStdString(), CQuillonDlg::kDefaultRangeStart);
    } else {
        const std::string& ip = adapters[0].ipv4;
        EXPECT_EQ(range_start->text().toStdString(), ip.substr(0, ip.rfind('.') + 1) + "250");
    }
}

TEST_F(StartupTest, ADiscoveredDeviceReachesTheListThroughTheIntake) {
    EnvVar a("LC_ALL", "en_US.UTF-8");
    start();
    ASSERT_EQ(dlg->flags().intake_closed.load(), 0);
    // The intake as the program wires it, called from a thread of its own as the receive
    // thread calls it.
    EngineWorkerWatch link(app->engine());
    DeviceIntake intake(dlg->port(), link);
    std::atomic<bool> done{false};
    std::thread receive([&] {
        intake.add_found_device("10.0.0.7", "0101", "aa:bb:cc:dd:ee:07", "V3", nullptr);
        intake.add_found_device("10.0.0.7", "0101", "aa:bb:cc:dd:ee:07", "V3", nullptr);
        done = true;
    });
    ASSERT_TRUE(wait_until([&] { return done.load(); }));
    receive.join();
    ASSERT_EQ(dlg->port().row_count(), 1);
    EXPECT_EQ(table_of(*dlg).get_cell(0, 1), "10.0.0.7");
    EXPECT_TRUE(dlg->port().get_check(0));
    EXPECT_EQ(table_of(*dlg).get_cell(0, 6), "Ready");
    auto* list = dlg->findChild<QTableView*>(QString::number(IDC_DEVICE_LIST));
    EXPECT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(list->model()->data(list->model()->index(0, 1)).toString(),
              QStringLiteral("10.0.0.7"));
}

TEST_F(StartupTest, AnAnswerOnTheLoopbackReachesTheListThroughTheRealEndpoint) {
    EnvVar a("LC_ALL", "en_US.UTF-8");
    start();
    // The real endpoint bound to the loopback on a port of its own; it never searches here.
    EngineWorkerWatch link(app->engine());
    DeviceIntake intake(dlg->port(), link);
    BrelkMulEvent endpoint;
    const Ipv4 lo = *parse_ipv4("127.0.0.1");
    const uint16_t port = static_cast<uint16_t>(20000 + (getpid() % 20000));
    ASSERT_EQ(endpoint.start(&intake, lo, port), 0);
    dlg->flags().intake_closed = 0;

    DiscoveryAnswer ans;
    ans.ip = "127.0.0.9";
    ans.id = "0102";
    ans.mac = "aa:bb:cc:dd:ee:09";
    ans.version = "V9";
    const std::string datagram = build_answer(ans);
    UniqueFd s(socket(AF_INET, SOCK_DGRAM, 0));
    ASSERT_TRUE(s.valid());
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = lo.net;
    ASSERT_EQ(sendto(s.get(), datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to),
              static_cast<ssize_t>(datagram.size()));
    ASSERT_TRUE(wait_until([&] { return dlg->port().row_count() == 1; }));
    EXPECT_EQ(table_of(*dlg).get_cell(0, 1), "127.0.0.9");
    EXPECT_EQ(table_of(*dlg).get_cell(0, 3), "aa:bb:cc:dd:ee:09");
    EXPECT_EQ(table_of(*dlg).get_cell(0, 9), "V9");
    // Closing the window's port first lets the endpoint stop even if its thread is mid-request.
    static_cast<GuiWindowPort&>(dlg->port()).close();
    endpoint.stop();
}

ReceivedAnswer received_at(const char* ip, const char* mac,
                           std::chrono::steady_clock::time_point at) {
    ReceivedAnswer r;
    r.answer.ip = ip;
    r.answer.id = "1019901";
    r.answer.mac = mac;
    r.answer.version = "V1";
    r.arrived = at;
    return r;
}

TEST_F(StartupTest, AnswersThatCameWithinTheSearchWindowAreListedWhenReadAfterIt) {
    EnvVar a("LC_ALL", "en_US.UTF-8");
    const auto opened = std::chrono::steady_clock::now();
    start();
    auto* search = dlg->findChild<QPushButton*>(QString::number(IDC_SEARCH));
    ASSERT_TRUE(wait_until([&] { return !search->isEnabled(); }));
    ASSERT_TRUE(wait_until([&] { return search->isEnabled(); }));  // the window ran out
    const auto ended = std::chrono::steady_clock::now();
    ASSERT_EQ(dlg->flags().intake_closed.load(), 1);

    EngineWorkerWatch link(app->engine());
    DeviceIntake intake(dlg->port(), link);
    // As the receive thread hands over what it read late: one answer that came during the
    // window, one after it, and a copy of the first from the other socket.
    auto hand_over = [&](std::vector<ReceivedAnswer> answers) {
        std::atomic<bool> done{false};
        std::thread receive([&] {
            intake.add_found_devices(answers, nullptr);
            done = true;
        });
        const bool ok = wait_until([&] { return done.load(); });
        receive.join();
        return ok;
    };
    ASSERT_TRUE(
        hand_over({received_at("10.0.0.7", "aa:07", opened + std::chrono::milliseconds(1)),
                   received_at("10.0.0.8", "aa:08", ended + std::chrono::milliseconds(1)),
                   received_at("10.0.0.7", "aa:07", opened + std::chrono::milliseconds(1))}));
    ASSERT_EQ(dlg->port().row_count(), 1);
    EXPECT_EQ(table_of(*dlg).get_cell(0, 0), "1");
    EXPECT_EQ(table_of(*dlg).get_cell(0, 1), "10.0.0.7");
    auto* list = dlg->findChild<QTableView*>(QString::number(IDC_DEVICE_LIST));
    EXPECT_EQ(list->model()->rowCount(), 1);

    // CLEAN empties the list: an answer of the old window that is read only now stays out.
    dlg->findChild<QPushButton*>(QString::number(IDC_CLEAN))->click();
    ASSERT_TRUE(
        hand_over({received_at("10.0.0.9", "aa:09", opened + std::chrono::milliseconds(2))}));
    EXPECT_EQ(dlg->port().row_count(), 0);
}

TEST_F(StartupTest, TheRangeBoxIsReadFromTheWindowsCopyWithoutARequest) {
    EnvVar a("LC_ALL", "en_US.UTF-8");
    start();
    auto* box = dlg->findChild<QCheckBox*>(QString::number(IDC_RANGE_BOX));
    // Read from another thread while this (the window's) thread serves no event: a request
    // would wait until it did.
    auto read_elsewhere = [&] {
        std::promise<bool> value;
        std::future<bool> f = value.get_future();
        std::thread t([&] { value.set_value(dlg->port().range_box_checked()); });
        const bool answered = f.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
        if (!answered)
            wait_until(
                [&] { return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        t.join();
        EXPECT_TRUE(answered) << "the range box was asked for with a request";
        return f.get();
    };
    EXPECT_FALSE(read_elsewhere());
    box->click();  // the user ticks it
    ASSERT_TRUE(box->isChecked());
    EXPECT_TRUE(read_elsewhere());
    box->setChecked(false);  // the program unticks it (as SEARCH does)
    EXPECT_FALSE(read_elsewhere());
}

TEST_F(StartupTest, ABatchWithABadImageEndsWithTheMessageAndAnIdleWindow) {
    EnvVar a("LC_ALL", "en_US.UTF-8");
    start(/*driver=*/true);
    std::ofstream("bad.img") << "no trailer here";
    auto* boot_check = dlg->findChild<QCheckBox*>(QString::number(IDC_BOOT_CHECK));
    boot_check->click();
    dlg->findChild<QLineEdit*>(QString::number(IDC_BOOT_PATH))
        ->setText(QString::fromStdString((fs::current_path() / "bad.img").string()));
    dlg->flags().intake_closed = 0;
    FoundDevice d;
    d.ip = "127.0.0.9";
    d.mac = "aa:bb:cc:dd:ee:09";
    d.status = "Ready";
    ASSERT_EQ(dlg->port().insert_found_device(d), 0);
    auto* start_button = dlg->findChild<QPushButton*>(QString::number(IDC_START));
    start_button->click();
    ASSERT_FALSE(start_button->isEnabled());
    // The driver picks the batch up, fails the image check, says so and makes the window idle.
    ASSERT_TRUE(wait_until([&] { return start_button->isEnabled(); }, std::chrono::seconds(10)));
    ASSERT_FALSE(dlg->shown.empty());
    EXPECT_EQ(dlg->shown.back().text, "Image check failed!");
    EXPECT_EQ(dlg->findChild<QPushButton*>(QString::number(IDC_CLEAN))->text(), "CLEAN");
    EXPECT_FALSE(app->engine().running());
}

}  // namespace
}  // namespace quillon::test

#endif
