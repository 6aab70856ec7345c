// SPDX-License-Identifier: Apache-2.0
// Reading journals back: whole journals, a last line cut by a crash at every byte, and lines that
// are not what they claim to be.
#include <gtest/gtest.h>

#include <string>

#include "journal/journal_doc.h"

namespace quillon {
namespace {

const std::string kStart =
    R"({"event":"batch_start","id":"x","time":"2026-01-02 03:04:05","continues":null,)"
    R"("settings":{"mode":"list","range":"","threads":3,"auto_retry":true,"fake_burn":false},)"
    R"("adapter":{"name":"lab0","address":"198.18.0.1"},)"
    R"("images":[{"slot":1,"role":"kernel","path":"/i/k.img","size":1204,"file_crc32":"0a0B0c0d","reboot_after":false}],)"
    R"("devices":[{"row":0,"ip":"10.0.0.1","mac":"AA"},{"row":1,"ip":"10.0.0.2","mac":"BB"},{"row":2,"ip":"10.0.0.3","mac":"CC"}]})";

std::string line(const std::string& s) { return s + "\n"; }
std::string taken(int row, const std::string& ip) {
    return line(R"({"event":"device_taken","pass":0,"worker":0,"row":)" + std::to_string(row) +
                R"(,"ip":")" + ip + R"(","mac":""})");
}
std::string image(int row, const std::string& ip, int slot, bool ok) {
    return line(R"({"event":"image_finished","pass":0,"row":)" + std::to_string(row) +
                R"(,"ip":")" + ip + R"(","mac":"","slot":)" + std::to_string(slot) +
                R"(,"success":)" + (ok ? "true" : "false") + "}");
}
std::string ended(int row, const std::string& ip, bool ok) {
    return line(R"({"event":"device_end","pass":0,"row":)" + std::to_string(row) + R"(,"ip":")" +
                ip + R"(","mac":"","success":)" + (ok ? "true" : "false") +
                R"(,"slots":[1],"elapsed_s":1.5})");
}
const std::string kEnd = line(
    R"({"event":"batch_end","time":"2026-01-02 03:09:00","passes":2,"stopped":false})");

// Row 0 done, row 1 failed once, row 2 in the middle of its image.
std::string unfinished() {
    return line(kStart) + taken(0, "10.0.0.1") + taken(1, "10.0.0.2") +
           image(0, "10.0.0.1", 1, true) + ended(0, "10.0.0.1", true) +
           image(1, "10.0.0.2", 1, false) + ended(1, "10.0.0.2", false) + taken(2, "10.0.0.3");
}

TEST(JournalReader, TellsWhatEachDeviceOfAnUnfinishedBatchReached) {
    const JournalDoc d = read_journal_text(unfinished());
    ASSERT_TRUE(d.valid);
    EXPECT_FALSE(d.finished);
    EXPECT_FALSE(d.torn_tail);
    EXPECT_EQ(d.bad_lines, 0);
    EXPECT_EQ(d.lines, 8);
    EXPECT_EQ(d.threads, 3);
    EXPECT_TRUE(d.auto_retry);
    EXPECT_EQ(d.adapter, "lab0");
    ASSERT_EQ(d.images.size(), 1u);
    EXPECT_EQ(d.images[0].slot, 1);
    EXPECT_EQ(d.images[0].file_crc32, 0x0a0b0c0du);
    EXPECT_EQ(d.images[0].size, 1204u);
    ASSERT_EQ(d.devices.size(), 3u);
    EXPECT_TRUE(d.devices[0].succeeded);
    EXPECT_EQ(d.devices[0].mac, "AA");  // an empty MAC in a later line does not wipe the known one
    EXPECT_TRUE(d.devices[1].failed);
    EXPECT_FALSE(d.devices[1].succeeded);
    EXPECT_TRUE(d.devices[2].in_flight);
    EXPECT_EQ(d.succeeded(), 1);
    EXPECT_EQ(d.failed(), 1);
    EXPECT_EQ(d.pending(), 2);

    const JournalDoc f = read_journal_text(unfinished() + ended(2, "10.0.0.3", true) +
                                           taken(1, "10.0.0.2") + ended(1, "10.0.0.2", true) +
                                           kEnd);
    EXPECT_TRUE(f.finished);
    EXPECT_EQ(f.ended, "2026-01-02 03:09:00");
    EXPECT_EQ(f.succeeded(), 3);
    EXPECT_EQ(f.failed(), 0);
    EXPECT_EQ(f.pending(), 0);
    EXPECT_EQ(f.devices[1].visits, 2);
}

TEST(JournalReader, ALastLineCutAtAnyByteIsSkippedAndNothingElse) {
    const std::string whole = unfinished();
    const std::string last = ended(2, "10.0.0.3", true);
    const JournalDoc before = read_journal_text(whole);
    for (std::size_t cut = 1; cut < last.size(); ++cut) {
        SCOPED_TRACE(cut);
        const JournalDoc d = read_journal_text(whole + last.substr(0, cut));
        EXPECT_TRUE(d.torn_tail);
        EXPECT_EQ(d.bad_lines, 0);
        EXPECT_EQ(d.lines, before.lines);
        // Even a cut that leaves valid JSON ("...}" without its line end) is not trusted.
        EXPECT_TRUE(d.devices[2].in_flight);
        EXPECT_EQ(d.succeeded(), 1);
    }
    // A start line cut short: no journal at all.
    const JournalDoc d = read_journal_text(kStart.substr(0, 40));
    EXPECT_FALSE(d.valid);
    EXPECT_TRUE(d.torn_tail);
}

TEST(JournalReader, HostileLinesAreSkippedAndCounted) {
    const std::string hostile[] = {
        "not json at all",
        std::string("\0\0\0", 3),
        "[1,2,3]",
        R"("just a string")",
        R"({"no_event":1})",
        R"({"event":7})",
        R"({"event":"device_end","row":"0","ip":"10.0.0.1","mac":"","success":true})",  // row as text
        R"({"event":"device_end","row":-1,"ip":"10.0.0.1","mac":"","success":true})",  // negative row
        R"({"event":"device_end","row":99999999999999999999,"ip":"x","mac":"","success":true})",
        R"({"event":"device_end","row":0,"ip":"10.0.0.1","mac":"","success":"yes"})",  // not a bool
        R"({"event":"image_finished","row":0,"ip":"10.0.0.1","mac":"","slot":7,"success":true})",
        R"({"event":"batch_end"})",                           // no time
        kStart,                                               // a second start
        std::string(200000, '[') + std::string(200000, ']'),  // deep nesting
        R"({"event":"device_end","row":0,"ip":")" + std::string(2 << 20, 'a') +
            R"(","mac":"","success":true})",
        "{\"event\":\"device_end\",\"row\":1,\"ip\":\"\xff\xfe\",\"mac\":\"\",\"success\":true",  // no brace
    };
    std::string text = line(kStart);
    for (const auto& h : hostile) text += line(h);
    text += taken(2, "10.0.0.3");
    const JournalDoc d = read_journal_text(text);
    ASSERT_TRUE(d.valid);
    EXPECT_EQ(d.bad_lines, int(std::size(hostile)));
    EXPECT_EQ(d.lines, 2);
    EXPECT_FALSE(d.finished);
    EXPECT_EQ(d.succeeded(), 0);  // no hostile "success" was believed
    EXPECT_TRUE(d.devices[2].in_flight);
    EXPECT_EQ(d.devices[0].slots_done, 0u);
}

TEST(JournalReader, AStartLineIsTakenWholeOrNotAtAll) {
    auto with = [](const std::string& from, const std::string& to) {
        std::string s = kStart;
        const auto at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return s.replace(at, from.size(), to);
    };
    const std::string bad_starts[] = {
        with(R"("threads":3)", R"("threads":11)"),
        with(R"("mode":"list")", R"("mode":"other")"),
        with(R"("file_crc32":"0a0B0c0d")", R"("file_crc32":"0a0B0c0g")"),
        with(R"("slot":1)", R"("slot":4)"),
        with(R"({"row":1,"ip":"10.0.0.2")", R"({"row":0,"ip":"10.0.0.2")"),  // a row twice
        with(R"("images":[)", R"("images":[{},)"),
        with(R"("path":"/i/k.img")", R"("path":"")"),
    };
    for (const auto& s : bad_starts) {
        SCOPED_TRACE(s);
        const JournalDoc d = read_journal_text(line(s) + taken(0, "10.0.0.1") + kEnd);
        EXPECT_FALSE(d.valid);
        EXPECT_TRUE(d.devices.empty());
        EXPECT_EQ(d.bad_lines, 3);  // and nothing after it belongs to a batch
    }
    // Lines after the end line belong to no batch either.
    const JournalDoc d = read_journal_text(line(kStart) + kEnd + ended(0, "10.0.0.1", true));
    EXPECT_TRUE(d.finished);
    EXPECT_EQ(d.bad_lines, 1);
    EXPECT_EQ(d.succeeded(), 0);
}

TEST(JournalReader, ComeBackResultsAndLaterKindsOfLines) {
    const std::string text =
        line(kStart) + taken(0, "10.0.0.1") + ended(0, "10.0.0.1", true) +
        line(
            R"({"event":"device_came_back","row":0,"ip":"10.0.0.1","mac":"AA","checked":true,"came_back":false})") +
        line(
            R"({"event":"device_came_back","row":1,"ip":"10.0.0.2","mac":"BB","checked":false,"came_back":false})") +
        line(R"({"event":"something_new","row":0})");
    const JournalDoc d = read_journal_text(text);
    EXPECT_EQ(d.bad_lines, 0);
    EXPECT_EQ(d.not_back(), 1);
    ASSERT_TRUE(d.devices[0].came_back.has_value());
    EXPECT_FALSE(*d.devices[0].came_back);
    EXPECT_FALSE(d.devices[1].came_back.has_value());  // not checked: unknown, not "not back"
}

// The start line with other settings in place of the usual ones.
std::string start_with(const std::string& settings) {
    std::string s = kStart;
    const std::string old = R"("fake_burn":false})";
    s.replace(s.find(old), old.size(), R"("fake_burn":false)" + settings + "}");
    return line(s);
}

TEST(JournalReader, TheBatchRulesAreReadWhenThereAndMustMakeSense) {
    // A journal from before the rules has none.
    JournalDoc d = read_journal_text(unfinished());
    EXPECT_EQ(d.canary, 0);
    EXPECT_TRUE(d.max_failed.empty());
    d = read_journal_text(start_with(R"(,"canary":3,"max_failed":"2")"));
    ASSERT_TRUE(d.valid);
    EXPECT_EQ(d.canary, 3);
    EXPECT_EQ(d.max_failed, "2");
    d = read_journal_text(start_with(R"(,"canary":0,"max_failed":null)"));
    ASSERT_TRUE(d.valid);
    EXPECT_TRUE(d.max_failed.empty());
    for (const char* bad :
         {R"(,"canary":-1)", R"(,"canary":"2")", R"(,"canary":2.5)", R"(,"max_failed":"lots")",
          R"(,"max_failed":"120%")", R"(,"max_failed":2)"}) {
        d = read_journal_text(start_with(bad));
        EXPECT_FALSE(d.valid) << bad;
        EXPECT_EQ(d.bad_lines, 1) << bad;
    }
}

TEST(JournalReader, RuleDecisionsTellWhetherTheCanaryPassedAndWhatHaltedTheBatch) {
    const std::string passed = line(
        R"({"event":"batch_rule","rule":"canary","outcome":"passed","halts":false,"pass":0,"rows":[0],"why":"x"})");
    const std::string halted = line(
        R"({"event":"batch_rule","rule":"max_failed","outcome":"reached","halts":true,"pass":1,"rows":[],"why":"y"})");
    JournalDoc d = read_journal_text(start_with(R"(,"canary":1)") + passed + halted);
    EXPECT_EQ(d.bad_lines, 0);
    EXPECT_TRUE(d.canary_passed);
    EXPECT_EQ(d.halted_by, "max_failed");
    d = read_journal_text(
        start_with(R"(,"canary":1)") +
        line(
            R"({"event":"batch_rule","rule":"canary","outcome":"failed","halts":true,"pass":0,"rows":[0],"why":"z"})"));
    EXPECT_FALSE(d.canary_passed);
    EXPECT_EQ(d.halted_by, "canary");
    // A rule line without what it must hold is skipped and counted.
    d = read_journal_text(
        line(kStart) + line(R"({"event":"batch_rule","rule":"canary","outcome":"passed"})") +
        line(R"({"event":"batch_rule","rule":"canary","outcome":"passed","halts":"no"})"));
    EXPECT_EQ(d.bad_lines, 2);
    EXPECT_FALSE(d.canary_passed);
}

TEST(JournalReader, AMissingOrOversizedFileIsNoJournal) {
    JournalDoc d;
    EXPECT_FALSE(read_journal("/nonexistent/journal_x.jsonl", d));
    EXPECT_FALSE(d.valid);
}

}  // namespace
}  // namespace quillon
