// SPDX-License-Identifier: Apache-2.0
// The devices of a headless batch that need attention: how each outcome of the summary becomes a
// kind of the SUMMARY lines ("not found" among those that need attention), the line of their
// addresses after the table, the --failed-to site list and the JSON array.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch_summary.h"
#include "cli/failed_devices.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon::cli {
namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

DeviceSummary device(const std::string& ip, const std::string& mac, const std::string& outcome,
                     int came_back = -1, unsigned slots_done = 0, int passes = 1) {
    DeviceSummary d;
    d.ip = ip;
    d.mac = mac;
    d.outcome = outcome;
    d.came_back = came_back;
    d.slots_done = slots_done;
    d.passes = passes;
    return d;
}

// A batch of every kind, in a list order that is not the kinds' order. Slots 1 and 3 loaded.
SummaryDoc mixed_batch() {
    SummaryDoc doc;
    doc.mode = "list";
    doc.images = {{1, "/i/2_kernel.img", 10, 1, false}, {3, "/i/4_fw.img", 20, 2, false}};
    doc.devices = {
        device("198.18.0.16", "", "not started", -1, 0, 0),
        device("198.18.0.10", "02:51:C6:12:00:0A", "success", 1, 0b1010),
        device("198.18.0.15", "02:51:C6:12:00:0F", "not found", -1, 0, 0),
        device("198.18.0.11", "02:51:C6:12:00:0B", "failure", -1, 0b0010, 3),
        device("198.18.0.12", "02:51:C6:12:00:0C", "success", 0, 0b1010),
        device("198.18.0.13", "02:51:C6:12:00:0D", "success", -1, 0b1010),
        device("198.18.0.14", "02:51:C6:12:00:0E", "failure", -1, 0, 1),
        device("198.18.0.17", "02:51:C6:12:00:11", "success", 1, 0b1010),
    };
    doc.devices[1].version_before = "1.0";
    doc.devices[1].version_after = "1.1";
    doc.devices.back().version_before = doc.devices.back().version_after = "1.0";
    return doc;
}

TEST(CliFailedDevices, EveryOutcomeBecomesItsKindAndNotFoundNeedsAttention) {
    const SummaryDoc doc = mixed_batch();
    const auto lines = summary_lines(summary_outcomes(doc, 30));
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "8 devices: 1 upgraded and back, 1 upgraded (come-back not checked), 2 failed, "
            "1 not back, 1 back with the old version, 1 not found, 1 not started",
            "failed: IP:198.18.0.11 MAC:02:51:C6:12:00:0B, the FW image failed (tried in 3 passes)",
            "failed: IP:198.18.0.14 MAC:02:51:C6:12:00:0E, the KERNEL image failed",
            "not back: IP:198.18.0.12 MAC:02:51:C6:12:00:0C, upgraded, but no answer within 30 s of its reboot",
            "back with the old version: IP:198.18.0.17 MAC:02:51:C6:12:00:11, answered after its "
            "reboot with its old version 1.0",
            "not found: IP:198.18.0.15 MAC:02:51:C6:12:00:0F, no answer to the search: not upgraded",
            "not started: IP:198.18.0.16 MAC:-, the batch ended before it was begun",
        }));
}

// A site list's refused device is its own kind, after those not found, and keeps its name.
TEST(CliFailedDevices, ASiteListConflictIsRefusedAndNamed) {
    SummaryDoc doc;
    doc.mode = "list";
    doc.devices = {device("198.18.0.20", "02:51:C6:12:00:14", "conflict", -1, 0, 0),
                   device("198.18.0.21", "", "not found", -1, 0, 0)};
    doc.devices[0].name = "Block B, door 3";
    const auto outcomes = summary_outcomes(doc);
    EXPECT_EQ(outcomes[0].kind, OutcomeKind::conflict);
    EXPECT_EQ(
        summary_lines(outcomes),
        (std::vector<std::string>{
            "2 devices: 1 not found, 1 refused as a conflict",
            "not found: IP:198.18.0.21 MAC:-, no answer to the search: not upgraded",
            "refused as a conflict: IP:198.18.0.20 MAC:02:51:C6:12:00:14 \"Block B, door 3\", "
            "another MAC or a second device answered at its address: not upgraded",
        }));
    EXPECT_EQ(site_list_csv(needing_attention(outcomes)),
              "ip,mac,name\n198.18.0.21,,\n198.18.0.20,02:51:C6:12:00:14,\"Block B, door 3\"\n");
}

TEST(CliFailedDevices, TheLineAfterTheTableHoldsOnlyTheAddressesInTheSummaryOrder) {
    const auto attention = needing_attention(summary_outcomes(mixed_batch()));
    ASSERT_EQ(attention.size(), 6u);
    EXPECT_EQ(failed_lines(attention),
              "6 devices need attention (for --device or a site list):\n"
              "198.18.0.11 198.18.0.14 198.18.0.12 198.18.0.17 198.18.0.15 198.18.0.16\n");
    EXPECT_EQ(failed_lines({attention[0]}),
              "1 device needs attention (for --device or a site list):\n198.18.0.11\n");
    // Every device upgraded: nothing is printed. A device that tells no version is back all the same.
    SummaryDoc good;
    good.devices = {device("198.18.0.10", "m", "success", 1),
                    device("198.18.0.11", "m", "success", -1)};
    EXPECT_TRUE(needing_attention(summary_outcomes(good)).empty());
    EXPECT_EQ(failed_lines({}), "");
}

TEST(CliFailedDevices, SiteListQuotesCommasAndQuotesAndKeepsEachDeviceOnItsLine) {
    std::vector<DeviceOutcome> list(3);
    list[0].ip = "198.18.0.11";
    list[0].mac = "02:51:C6:12:00:0B";
    list[0].name = "Block B, door 3";
    list[1].ip = "198.18.0.12";
    list[1].name = "the \"big\" gate\r\nline two";
    list[2].ip = "198.18.0.13";
    list[2].mac = "aa\tbb";
    EXPECT_EQ(site_list_csv(list),
              "ip,mac,name\n"
              "198.18.0.11,02:51:C6:12:00:0B,\"Block B, door 3\"\n"
              "198.18.0.12,,\"the \"\"big\"\" gate  line two\"\n"
              "198.18.0.13,aa bb,\n");
    EXPECT_EQ(site_list_csv({}), "ip,mac,name\n");

    test::TempDir dir;
    const std::string path = dir / "failed.csv";
    ASSERT_TRUE(write_site_list(path, list));
    EXPECT_EQ(read_file(path), site_list_csv(list));
    EXPECT_FALSE(write_site_list(dir / "no-such-folder/failed.csv", list));
}

TEST(CliFailedDevices, JsonNamesEachDeviceThatNeedsAttentionWithItsOutcome) {
    SummaryDoc doc = mixed_batch();
    const std::string a = attention_json(needing_attention(summary_outcomes(doc)));
    EXPECT_EQ(
        a.rfind(R"([{"ip":"198.18.0.11","mac":"02:51:C6:12:00:0B","name":"","outcome":"failed"},)",
                0),
        0u)
        << a;
    EXPECT_NE(
        a.find(
            R"({"ip":"198.18.0.17","mac":"02:51:C6:12:00:11","name":"","outcome":"back with the old version"})"),
        std::string::npos)
        << a;
    EXPECT_NE(
        a.find(R"({"ip":"198.18.0.15","mac":"02:51:C6:12:00:0F","name":"","outcome":"not found"})"),
        std::string::npos)
        << a;
    EXPECT_NE(a.find(R"({"ip":"198.18.0.16","mac":"","name":"","outcome":"not started"}])"),
              std::string::npos)
        << a;
    EXPECT_EQ(attention_json({}), "[]");
    // In the summary document, whole.
    const std::string j = summary_json(doc);
    EXPECT_NE(j.find(",\"needs_attention\":" + a + ","), std::string::npos) << j;
}

}  // namespace
}  // namespace quillon::cli
