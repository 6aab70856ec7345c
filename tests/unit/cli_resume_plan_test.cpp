// SPDX-License-Identifier: Apache-2.0
// `upgrade --resume`: which listed row is each device the batch still owes, and the refusal of an
// image file that changed since the batch began.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "cli/resume_plan.h"
#include "cli/upgrade_run.h"

#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon::cli {
namespace {
namespace fs = std::filesystem;

JournalDevice dev(const std::string& ip, const std::string& mac) {
    JournalDevice d;
    d.ip = ip;
    d.mac = mac;
    return d;
}

TEST(ResumeMatch, ByMacFirstThenByAddressButNeverAnotherDevice) {
    const std::vector<JournalDevice> pending = {
        dev("10.0.0.1", "02:00:00:00:00:01"),  // moved to .9 (a new lease after its reboot)
        dev("10.0.0.2", "02:00:00:00:00:02"),  // its address now answers with another MAC
        dev("10.0.0.3", ""),                   // never answered a search: known by address only
        dev("10.0.0.4", "02:00:00:00:00:04"),  // listed by address, MAC not known there
        dev("10.0.0.5", "02:00:00:00:00:05"),  // not found at all
    };
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"10.0.0.1", "02:00:00:00:00:99"},  // 0: someone else now holds .1
        {"10.0.0.9", "02:00:00:00:00:01"},  // 1
        {"10.0.0.2", "02:00:00:00:00:77"},  // 2
        {"10.0.0.3", "02:00:00:00:00:33"},  // 3
        {"10.0.0.4", ""},                   // 4
    };
    EXPECT_EQ(match_pending(pending, rows), (std::vector<int>{1, -1, 3, 4, -1}));
    // MACs are compared without regard to case.
    EXPECT_EQ(match_pending({dev("10.0.0.1", "02:aa:00:00:00:01")},
                            {{"10.0.0.7", "02:AA:00:00:00:01"}}),
              (std::vector<int>{0}));
    // One row is never given to two devices.
    EXPECT_EQ(match_pending({dev("10.0.0.1", ""), dev("10.0.0.1", "")}, {{"10.0.0.1", ""}}),
              (std::vector<int>{0, -1}));
}

// A path as a JSON string's content: Windows paths hold backslashes.
std::string json_text(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

uint32_t crc_of(const std::string& s) {
    return uint32_t(::crc32(0L, reinterpret_cast<const Bytef*>(s.data()), uInt(s.size())));
}

TEST(ResumePlan, RefusesAChangedImageAndTakesOnlyWhatIsNotDone) {
    test::TempDir f;
    const std::string image = f / "k.img";
    const std::string bytes(3000, 'k');
    std::ofstream(image, std::ios::binary) << bytes;
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", crc_of(bytes));
    const std::string journal = f / "journal_20250101_000000_000_0001.jsonl";
    std::ofstream(journal)
        << R"({"event":"batch_start","id":"x","time":"t","continues":null,)"
           R"("settings":{"mode":"list","threads":3,"auto_retry":true,"fake_burn":false},)"
           R"("images":[{"slot":1,"path":")"
        << json_text(image) << R"(","size":3000,"file_crc32":")" << crc
        << R"(","reboot_after":false}],)"
           R"("devices":[{"row":0,"ip":"10.0.0.1","mac":"A"},{"row":1,"ip":"10.0.0.2","mac":"B"}]})"
        << "\n"
        << R"({"event":"device_end","row":0,"ip":"10.0.0.1","mac":"A","success":true})"
        << "\n";
    std::vector<std::string> said;
    auto say = [&](const std::string& t) { said.push_back(t); };

    ResumePlan plan;
    ASSERT_EQ(plan_resume(f.path(), "", plan, say), -1);
    // The same file, whichever separator joined its folder and name (Windows takes both).
    EXPECT_EQ(fs::path(plan.journal_path).lexically_normal(), fs::path(journal).lexically_normal());
    EXPECT_EQ(plan.images.paths[1], image);
    ASSERT_EQ(plan.pending.size(), 1u);
    EXPECT_EQ(plan.pending[0].ip, "10.0.0.2");

    // The same size, one byte other: refused, and the message names the file.
    std::string other = bytes;
    other.back() = 'K';
    std::ofstream(image, std::ios::binary | std::ios::trunc) << other;
    said.clear();
    ResumePlan changed;
    EXPECT_EQ(plan_resume(f.path(), fs::path(journal).filename().string(), changed, say),
              kExitBadUsage);
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said.back().find("KERNEL image " + image + " is not the file the batch began with"),
              std::string::npos)
        << said.back();

    fs::remove(test::fs_path(image));
    ResumePlan missing;
    EXPECT_EQ(plan_resume(f.path(), journal, missing, say), kExitBadUsage);

    // A finished batch is not resumed; nor is a file that is no journal.
    std::ofstream(journal, std::ios::app) << R"({"event":"batch_end","time":"t2"})"
                                          << "\n";
    ResumePlan finished;
    EXPECT_EQ(plan_resume(f.path(), journal, finished, say), kExitBadUsage);
    ResumePlan none;
    EXPECT_EQ(plan_resume(f.path(), "", none, say), kExitBadUsage);
    EXPECT_NE(said.back().find("no unfinished batch"), std::string::npos);
}

}  // namespace
}  // namespace quillon::cli
