// SPDX-License-Identifier: Apache-2.0
// The desktop program at start-up with the journal of a batch that died: once the start-up
// search has listed the devices, those the batch upgraded are unticked and a message says so.
// A batch of the window writes its journal, and its report ends with the SUMMARY lines.
#ifdef QUILLON_HAVE_DESKTOP

#include <QTemporaryDir>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/qt/quillon_app.h"
#include "app/qt/upgrade_engine_link.h"
#include "engine/engine_worker_watch.h"
#include "discovery/intake.h"
#include "engine/wire_format.h"
#include "journal/journal_doc.h"
#include "journal/journal_files.h"
#include "window_fixture.h"

#include <zlib.h>

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

std::string start_line() {
    return R"({"event":"batch_start","id":"x","time":"2026-01-02 03:04:05","continues":null,)"
           R"("settings":{"mode":"list","range":"","threads":2,"auto_retry":false,"fake_burn":false},)"
           R"("images":[{"slot":3,"path":"/i/4_fw.img","size":1204,"file_crc32":"00000001","reboot_after":false}],)"
           R"("devices":[{"row":0,"ip":"10.0.0.1","mac":"aa:00:00:00:00:01"},{"row":1,"ip":"10.0.0.2","mac":"aa:00:00:00:00:02"},)"
           R"({"row":2,"ip":"10.0.0.3","mac":"aa:00:00:00:00:03"},{"row":3,"ip":"10.0.0.4","mac":""}]})"
           "\n";
}
std::string end_of(int row, const std::string& ip, bool ok) {
    return R"({"event":"device_end","pass":0,"row":)" + std::to_string(row) + R"(,"ip":")" + ip +
           R"(","mac":"","success":)" + (ok ? "true" : "false") + "}\n";
}

class JournalStartupTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    fs::path old_cwd;
    RecordingDiscovery discovery;
    TestDlg* dlg = nullptr;
    std::unique_ptr<CQuillonApp> app;
    std::string old_lang;

    void SetUp() override {
        timing() = Timing{};
        timing().search_window = std::chrono::milliseconds(300);
        old_cwd = fs::current_path();
        fs::current_path(tmp.path().toStdString());
        fs::create_directories("log");
        if (const char* l = std::getenv("LC_ALL")) old_lang = l;
        setenv("LC_ALL", "en_US.UTF-8", 1);
        ui_texts().use_english = false;
    }
    void TearDown() override {
        app.reset();
        fs::current_path(old_cwd);
        timing() = Timing{};
        if (old_lang.empty())
            unsetenv("LC_ALL");
        else
            setenv("LC_ALL", old_lang.c_str(), 1);
    }
    void journal(const std::string& name, const std::string& text) {
        std::ofstream("log/" + name) << text;
    }

    // Starts the program; the devices answer its start-up search at once.
    void start_and_answer(const std::vector<std::pair<std::string, std::string>>& devices,
                          bool driver = false) {
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
        EngineWorkerWatch link(app->engine());
        DeviceIntake intake(dlg->port(), link);
        std::atomic<bool> done{false};
        std::thread receive([&] {
            for (const auto& [ip, mac] : devices)
                intake.add_found_device(ip.c_str(), "0101", mac.c_str(), "V1", nullptr);
            done = true;
        });
        ASSERT_TRUE(wait_until([&] { return done.load(); }));
        receive.join();
        ASSERT_EQ(dlg->port().row_count(), int(devices.size()));
        // The search window runs out; the check runs after it.
        auto* search = dlg->findChild<QPushButton*>(QString::number(IDC_SEARCH));
        ASSERT_TRUE(wait_until([&] { return search->isEnabled(); }));
        QTest::qWait(50);
    }
    bool ticked(const std::string& ip) {
        for (int r = 0; r < dlg->port().row_count(); ++r)
            if (table_of(*dlg).get_cell(r, 1) == ip) return dlg->port().get_check(r);
        ADD_FAILURE() << ip << " not listed";
        return false;
    }
};

const std::vector<std::pair<std::string, std::string>> kFound = {
    {"10.0.0.1", "aa:00:00:00:00:01"},   // upgraded
    {"10.0.0.2", "aa:00:00:00:00:02"},   // failed
    {"10.0.0.33", "AA:00:00:00:00:03"},  // upgraded, back with another address: known by its MAC
    {"10.0.0.4", "aa:00:00:00:00:04"},   // in hand when the batch died
    {"10.0.0.5", "aa:00:00:00:00:05"},   // not in that batch
};

TEST_F(JournalStartupTest, AnUnfinishedBatchLeavesItsUpgradedDevicesUntickedAndSaysHowMany) {
    // An older finished journal does not matter: the newest one is unfinished.
    journal("journal_20250101_000000_000_0001.jsonl", start_line() +
                                                          R"({"event":"batch_end","time":"t"})"
                                                          "\n");
    journal(
        "journal_20260102_030405_000_0001.jsonl",
        start_line() + end_of(0, "10.0.0.1", true) + end_of(1, "10.0.0.2", false) +
            end_of(2, "10.0.0.3", true) +
            R"({"event":"device_taken","pass":0,"worker":1,"row":3,"ip":"10.0.0.4","mac":""})"
            "\n"
            R"({"event":"device_end","pass":0,"row":3,"ip":"10.0.0.4","mac":"","succ)");  // torn
    start_and_answer(kFound);
    ASSERT_TRUE(wait_until([&] { return !dlg->shown.empty(); }));
    ASSERT_EQ(dlg->shown.size(), 1u);
    EXPECT_EQ(dlg->shown[0].text,
              "The last batch did not finish: 2 device(s) already upgraded are not ticked.");
    EXPECT_FALSE(ticked("10.0.0.1"));
    EXPECT_TRUE(ticked("10.0.0.2"));
    EXPECT_FALSE(ticked("10.0.0.33"));
    EXPECT_TRUE(ticked("10.0.0.4"));
    EXPECT_TRUE(ticked("10.0.0.5"));
    // The list shows it too, not only the table behind it.
    auto* list = dlg->findChild<QTableView*>(QString::number(IDC_DEVICE_LIST));
    EXPECT_EQ(list->model()->data(list->model()->index(0, 0), Qt::CheckStateRole).toInt(),
              int(Qt::Unchecked));
    EXPECT_EQ(list->model()->data(list->model()->index(1, 0), Qt::CheckStateRole).toInt(),
              int(Qt::Checked));
}

TEST_F(JournalStartupTest, AFinishedNewestBatchChangesNothing) {
    journal("journal_20250101_000000_000_0001.jsonl",
            start_line() + end_of(0, "10.0.0.1", true));  // unfinished, older
    journal("journal_20260102_030405_000_0001.jsonl", start_line() + end_of(0, "10.0.0.1", true) +
                                                          R"({"event":"batch_end","time":"t"})"
                                                          "\n");
    start_and_answer(kFound);
    QTest::qWait(200);
    EXPECT_TRUE(dlg->shown.empty());
    for (const auto& [ip, mac] : kFound) EXPECT_TRUE(ticked(ip)) << ip;
}

TEST_F(JournalStartupTest, ABatchOfTheWindowWritesItsJournal) {
    std::ofstream("config.ini") << "[Settings]\nfake_burn=1\n";
    Timing& t = timing();
    t.conflict_wait_step = t.fake_extra_wait = std::chrono::milliseconds(5);
    t.fake_step_unit = t.pass_settle = t.reboot_pause = t.after_search = std::chrono::milliseconds(
        1);
    // A valid image: data, then its trailer with length and checksum.
    std::vector<uint8_t> data(3000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 13 + 1);
    ImageHeader h;
    h.set_xor(0, 0);
    h.set_length(uint32_t(data.size()));
    h.set_crc(image_checksum(data.data(), data.size(), 0, 0));
    const std::string image = (fs::current_path() / "4_fw.img").string();
    {
        std::ofstream out(image, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        out.write(reinterpret_cast<const char*>(h.bytes), kImageHeaderSize);
    }
    uLong crc = ::crc32(0L, data.data(), uInt(data.size()));
    crc = ::crc32(crc, h.bytes, kImageHeaderSize);

    start_and_answer({{"10.0.0.1", "aa:00:00:00:00:01"}, {"10.0.0.2", "aa:00:00:00:00:02"}},
                     /*driver=*/true);
    dlg->findChild<QCheckBox*>(QString::number(IDC_FW_CHECK))->click();
    dlg->findChild<QLineEdit*>(QString::number(IDC_FW_PATH))
        ->setText(QString::fromStdString(image));
    auto* start_button = dlg->findChild<QPushButton*>(QString::number(IDC_START));
    start_button->click();
    ASSERT_FALSE(start_button->isEnabled());
    ASSERT_TRUE(wait_until([&] { return start_button->isEnabled(); }, std::chrono::seconds(20)));
    EXPECT_EQ(dlg->texts().back(), "The bulk upgrade process stop !");

    const auto journals = list_journals("log");
    ASSERT_EQ(journals.size(), 1u);
    JournalDoc d;
    ASSERT_TRUE(read_journal(journals[0], d));
    EXPECT_TRUE(d.valid);
    EXPECT_TRUE(d.finished);
    EXPECT_TRUE(d.fake_burn);
    EXPECT_EQ(d.bad_lines, 0);
    ASSERT_EQ(d.images.size(), 1u);
    EXPECT_EQ(d.images[0].slot, 3);
    EXPECT_EQ(d.images[0].file_crc32, uint32_t(crc));
    ASSERT_EQ(d.devices.size(), 2u);
    EXPECT_EQ(d.succeeded(), 2);
    EXPECT_EQ(d.devices[1].mac, "aa:00:00:00:00:02");

    // The report the window opened ends with the batch's summary (a simulated upgrade is not
    // checked for its come-back).
    std::ifstream in("log/upgrade_user.html");
    std::string line, last;
    while (std::getline(in, line)) last = line;
    const std::string want = "] [SUMMARY] 2 devices: 2 upgraded (come-back not checked)</pre>";
    ASSERT_GT(last.size(), want.size());
    EXPECT_EQ(last.substr(last.size() - want.size()), want) << last;
}

}  // namespace
}  // namespace quillon::test

#endif  // QUILLON_HAVE_DESKTOP
