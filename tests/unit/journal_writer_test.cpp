// SPDX-License-Identifier: Apache-2.0
// The journal as the engine's observer writes it, read back; the files of a log folder.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <cstring>
#include <thread>

#include "engine/engine_internals.h"
#include "engine/upgrade_engine.h"
#include "journal/batch_journal.h"
#include "journal/journal_doc.h"
#include "journal/journal_files.h"
#include "log/log_file.h"
#include "platform/files.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "window/headless_window.h"

namespace quillon {
namespace {
namespace fs = std::filesystem;

using test::fs_path;
using test::TempDir;

uint32_t crc_of(const std::string& bytes) {
    return uint32_t(::crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

// An engine with its KERNEL slot loaded from a real file, behind a window of three rows, the
// first and the last ticked.
struct Batch {
    TempDir dir;
    LogFile report;
    HeadlessWindow window{report, {"ALL"}};
    EngineInternals engine;
    std::string image_path;
    std::string file_bytes;

    Batch() {
        std::string data(5000, '\0');
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + 3);
        std::string trailer(kImageHeaderSize, '\0');
        for (std::size_t i = 0; i < trailer.size(); ++i) trailer[i] = char(i ^ 0x5a);
        file_bytes = data + trailer;
        image_path = dir / "2_kernel.img";
        std::ofstream(image_path, std::ios::binary) << file_bytes;
        engine.m_url[1] = image_path;
        engine.m_img_len[1] = uint32_t(data.size());
        engine.m_img_data[1] = std::make_unique<uint8_t[]>(data.size());
        std::memcpy(engine.m_img_data[1].get(), data.data(), data.size());
        std::memcpy(engine.m_img_head[1].bytes, trailer.data(), trailer.size());
        engine.m_img_crc32[1] = crc_of(data);
        engine.m_reboot_after[1] = 1;
        engine.m_thread_num = 3;
        engine.m_auto_retry = 1;
        engine.m_dlg = &window;
        window.run([&] {
            DeviceTable& t = window.device_table();
            for (int r = 0; r < 3; ++r) {
                t.append_row(std::to_string(r + 1));
                t.set_cell(r, 1, "10.0.0." + std::to_string(r + 1));
                t.set_cell(r, 3, "02:00:00:00:00:0" + std::to_string(r + 1));
                t.set_check(r, r != 1);
            }
        });
    }
};

TEST(JournalWriter, AnUnfinishedBatchReadsBackAsItWasLeft) {
    Batch b;
    BatchJournal j(b.dir.path());
    j.set_adapter("lab0", "198.18.0.1");
    j.set_continues("journal_20200101_000000_000_abcd.jsonl");
    j.images_loaded(b.engine);
    ASSERT_FALSE(j.path().empty());
    j.device_taken(DeviceTaken{0, 0, 0, false, "10.0.0.1", "02:00:00:00:00:01"});
    j.image_finished(ImageFinished{0, 0, 0, "10.0.0.1", "02:00:00:00:00:01", 1, true});
    DeviceResult r;
    r.row = 0;
    r.ip = "10.0.0.1";
    r.mac = "02:00:00:00:00:01";
    r.success = true;
    r.slots_done = 2;
    j.device_ended(r);
    // A MAC that is no UTF-8 (it came from the network) still makes a line that parses.
    j.device_taken(DeviceTaken{0, 1, 2, false, "10.0.0.3", "\xff\xfe"});
    EXPECT_TRUE(j.ok());

    JournalDoc d;
    ASSERT_TRUE(read_journal(j.path(), d));
    ASSERT_TRUE(d.valid);
    EXPECT_EQ(d.bad_lines, 0);
    EXPECT_FALSE(d.finished);
    EXPECT_EQ(d.continues, "journal_20200101_000000_000_abcd.jsonl");
    EXPECT_EQ(d.adapter_address, "198.18.0.1");
    EXPECT_EQ(d.threads, 3);
    EXPECT_TRUE(d.auto_retry);
    ASSERT_EQ(d.images.size(), 1u);
    EXPECT_EQ(d.images[0].path, b.image_path);
    EXPECT_EQ(d.images[0].size, b.file_bytes.size());
    // The whole file's CRC, made from the loaded data and trailer, equals the file's own.
    EXPECT_EQ(d.images[0].file_crc32, crc_of(b.file_bytes));
    EXPECT_TRUE(d.images[0].reboot_after);
    ASSERT_EQ(d.devices.size(), 2u);  // the ticked rows only
    EXPECT_EQ(d.devices[0].row, 0);
    EXPECT_TRUE(d.devices[0].succeeded);
    EXPECT_EQ(d.devices[1].row, 2);
    EXPECT_TRUE(d.devices[1].in_flight);
    EXPECT_EQ(d.pending(), 1);

    j.batch_ended(BatchEnded{1, true});
    ASSERT_TRUE(read_journal(j.path(), d));
    EXPECT_TRUE(d.finished);
    EXPECT_TRUE(d.stopped);
}

TEST(JournalWriter, TheBatchRulesAndTheirDecisionsReadBack) {
    Batch b;
    BatchJournal j(b.dir.path());
    j.set_rules(2, "10%");
    j.images_loaded(b.engine);
    BatchRuleEvent canary;
    canary.rule = "canary";
    canary.outcome = "passed";
    canary.rows = {0, 2};
    canary.why = "canary passed: 2 of 2 upgraded and back";
    j.rule_decided(canary);

    JournalDoc d;
    ASSERT_TRUE(read_journal(j.path(), d));
    EXPECT_EQ(d.bad_lines, 0);
    EXPECT_EQ(d.canary, 2);
    EXPECT_EQ(d.max_failed, "10%");
    EXPECT_TRUE(d.canary_passed);
    EXPECT_TRUE(d.halted_by.empty());
    // The line itself, for a person reading the journal.
    std::ifstream in(j.path());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(
        text.find(
            R"({"event":"batch_rule","rule":"canary","outcome":"passed","halts":false,"pass":0,"rows":[0,2],"why":"canary passed: 2 of 2 upgraded and back"})"),
        std::string::npos)
        << text;

    BatchRuleEvent limit;
    limit.rule = "max_failed";
    limit.outcome = "reached";
    limit.halts = true;
    limit.pass = 1;
    j.rule_decided(limit);
    j.batch_ended(BatchEnded{2, true});
    ASSERT_TRUE(read_journal(j.path(), d));
    EXPECT_EQ(d.halted_by, "max_failed");
    EXPECT_TRUE(d.finished);

    // A batch without rules records none, and the next batch does not inherit the last one's.
    BatchJournal plain(b.dir.path());
    plain.images_loaded(b.engine);
    ASSERT_TRUE(read_journal(plain.path(), d));
    EXPECT_EQ(d.canary, 0);
    EXPECT_TRUE(d.max_failed.empty());
    EXPECT_FALSE(d.canary_passed);
}

TEST(JournalWriter, EachBatchHasItsOwnJournalAndTheNewest20AreKept) {
    Batch b;
    // Older journals of earlier runs, one of them not a journal by its name.
    for (int i = 0; i < 25; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "journal_2020%02d01_000000_000_00%02d.jsonl", i % 12 + 1,
                      i);
        std::ofstream(fs_path(b.dir / name)) << "{}\n";
    }
    std::ofstream(fs_path(b.dir / "journal_notes.txt")) << "mine\n";
    BatchJournal j(b.dir.path());
    j.set_continues("journal_20200101_000000_000_abcd.jsonl");
    j.images_loaded(b.engine);
    const std::string first = j.path();
    j.batch_ended(BatchEnded{1, false});
    j.images_loaded(b.engine);
    const std::string second = j.path();
    EXPECT_NE(first, second);

    const auto all = list_journals(b.dir.path());
    ASSERT_EQ(all.size(), std::size_t(kJournalsKept));
    EXPECT_EQ(all[0], second);  // newest first
    EXPECT_EQ(all[1], first);
    EXPECT_TRUE(fs::exists(fs_path(b.dir / "journal_notes.txt")));
    JournalDoc d;
    ASSERT_TRUE(read_journal(second, d));
    EXPECT_TRUE(d.continues.empty());  // only the batch right after --resume continues one
    EXPECT_EQ(newest_unfinished_journal(b.dir.path()), second);
}

TEST(JournalWriter, AFolderThatCannotBeWrittenIsReportedNotFatal) {
    Batch b;
    BatchJournal j(b.dir / "missing/deeper");
    j.images_loaded(b.engine);
    j.device_taken(DeviceTaken{});
    j.batch_ended(BatchEnded{});
    EXPECT_FALSE(j.ok());
}

TEST(JournalFiles, AFolderNamedInChineseIsWrittenListedReadAndPruned) {
    Batch b;
    const std::string folder = b.dir / "固件 日志";
    ASSERT_TRUE(make_directory(folder));
    BatchJournal j(folder);
    j.images_loaded(b.engine);
    j.batch_ended(BatchEnded{1, false});
    ASSERT_TRUE(j.ok());
    const auto all = list_journals(folder);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0], j.path());
    // The very folder, not one whose name the system's code page made up.
    const std::string name = journal_file_name(j.path());
    EXPECT_TRUE(fs::exists(fs_path(b.dir.path()) / fs::path(u8"固件 日志") / name)) << j.path();
    JournalDoc d;
    ASSERT_TRUE(read_journal(j.path(), d));
    EXPECT_TRUE(d.valid);
    EXPECT_TRUE(d.finished);
    EXPECT_EQ(newest_unfinished_journal(folder), "");
    prune_journals(folder, 0);
    EXPECT_TRUE(list_journals(folder).empty());
}

TEST(JournalFiles, NamesSortByTimeAndTheNewestUnfinishedSkipsResumedOnes) {
    TempDir dir;
    std::set<std::string> names;
    for (int i = 0; i < 30; ++i) {
        const std::string n = new_journal_name(dir.path());
        EXPECT_TRUE(is_journal_name(n)) << n;
        EXPECT_TRUE(names.insert(n).second) << n;
        std::ofstream(fs_path(dir / n)) << "";
    }
    EXPECT_FALSE(is_journal_name("journal_20200101_000000_000_abcd.json"));
    EXPECT_FALSE(is_journal_name("journal_2020010x_000000_000_abcd.jsonl"));
    EXPECT_FALSE(is_journal_name("../journal_20200101_000000_000_abcd"));
    prune_journals(dir.path(), 0);
    EXPECT_TRUE(list_journals(dir.path()).empty());

    auto write = [&](const std::string& name, const std::string& continues, bool ended) {
        std::ofstream f(fs_path(dir / name));
        f << R"({"event":"batch_start","id":"x","time":"t","continues":)"
          << (continues.empty() ? "null" : "\"" + continues + "\"")
          << R"(,"settings":{"mode":"list","threads":2,"auto_retry":false,"fake_burn":false},)"
          << R"("images":[{"slot":0,"path":"/b","size":1,"file_crc32":"00000000","reboot_after":false}],"devices":[]})"
          << "\n";
        if (ended)
            f << R"({"event":"batch_end","time":"t"})"
              << "\n";
    };
    const std::string a = "journal_20250101_000000_000_0001.jsonl";  // unfinished, resumed by b
    const std::string b = "journal_20250102_000000_000_0001.jsonl";  // finished
    const std::string c = "journal_20250103_000000_000_0001.jsonl";  // unfinished
    const std::string d = "journal_20250104_000000_000_0001.jsonl";  // finished
    write(a, "", false);
    write(b, a, true);
    write(d, "", true);
    EXPECT_EQ(newest_unfinished_journal(dir.path()), "");
    write(c, "", false);
    EXPECT_EQ(journal_file_name(newest_unfinished_journal(dir.path())), c);
    // Torn to nothing but its start: still unfinished and still found.
    std::ofstream(fs_path(dir / d), std::ios::trunc) << "{\"event\":\"batch_st";
    EXPECT_EQ(journal_file_name(newest_unfinished_journal(dir.path())), c);
}

}  // namespace
}  // namespace quillon
