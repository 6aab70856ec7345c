// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cli/found_devices.h"
#include "cli/local_adapters.h"
#include "cli/text_out.h"

namespace quillon::cli {
namespace {

TEST(CliFoundDevices, SameAddressOrSameMacIsTheSameDevice) {
    FoundDevices f;
    f.add_found_device("10.0.0.1", "1", "aa", "V1", "Ready");
    f.add_found_device("10.0.0.1", "2", "bb", "V2", "Ready");  // same address
    f.add_found_device("10.0.0.2", "3", "aa", "V3", "Ready");  // same MAC
    f.add_found_device("10.0.0.3", nullptr, nullptr, nullptr, "Ready");
    f.add_found_device("10.0.0.4", nullptr, nullptr, nullptr, "Ready");  // absent MACs differ
    f.add_found_device("10.0.0.5", "5", "", "V5", "Ready");
    f.add_found_device("10.0.0.6", "6", "", "V6", "Ready");  // so do empty ones
    f.add_found_device(nullptr, "7", "cc", "V7", "Ready");   // no address: nothing to reach
    auto list = f.list();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].ip, "10.0.0.1");
    EXPECT_EQ(list[0].id, "1");
    EXPECT_EQ(list[0].version, "V1") << "the first answer is kept";
    EXPECT_EQ(list[1].ip, "10.0.0.3");
    EXPECT_FALSE(list[1].mac);
    EXPECT_EQ(list[2].ip, "10.0.0.4");
    EXPECT_EQ(list[3].ip, "10.0.0.5");
    EXPECT_EQ(list[4].ip, "10.0.0.6");
}

TEST(CliTextOut, JsonStringsAreValidWhateverTheBytes) {
    EXPECT_EQ(json_string("plain"), "\"plain\"");
    EXPECT_EQ(json_string("a\"b\\c\n\t\x01\x1f"), "\"a\\\"b\\\\c\\n\\t\\u0001\\u001f\"");
    EXPECT_EQ(json_string(std::string("a\0b", 3)), "\"a\\u0000b\"");
    EXPECT_EQ(json_string("\xe4\xb8\xad"), "\"\xe4\xb8\xad\"");  // valid UTF-8 stays
    // Stray, cut-off, overlong and surrogate sequences become U+FFFD.
    EXPECT_EQ(json_string("\xff"), "\"\xef\xbf\xbd\"");
    EXPECT_EQ(json_string("\xe4\xb8"), "\"\xef\xbf\xbd\xef\xbf\xbd\"");
    EXPECT_EQ(json_string("\xc0\xaf"), "\"\xef\xbf\xbd\xef\xbf\xbd\"");
    EXPECT_EQ(json_string("\xed\xa0\x80"), "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"");
}

TEST(CliTextOut, TerminalTextCannotCarryControlSequences) {
    EXPECT_EQ(terminal_text("V\x1b[31mred\x07"), "V?[31mred?");
    EXPECT_EQ(terminal_text("\xc2\x9b"
                            "2J"),
              "?2J");  // C1 CSI
    EXPECT_EQ(terminal_text("\x7f\xff ok \xe4\xb8\xad"), "?? ok \xe4\xb8\xad");
    EXPECT_EQ(display_width("\xe4\xb8\xad"
                            "ab"),
              3u);
}

TEST(CliDevicesOutput, TableLinesUpAndShowsAbsentTexts) {
    std::vector<FoundDevice> d = {{"198.18.0.10", "1019901", "00:11", "V2.1"},
                                  {"10.0.0.2", std::nullopt, "\xe4\xb8\xad", std::nullopt}};
    EXPECT_EQ(devices_table(d),
              "ADDRESS      ID       MAC    VERSION\n"
              "198.18.0.10  1019901  00:11  V2.1\n"
              "10.0.0.2     -        \xe4\xb8\xad      -\n");
}

TEST(CliDevicesOutput, JsonListsDevicesWithNullForAbsentTexts) {
    std::vector<FoundDevice> d = {{"10.0.0.2", "7", std::nullopt, "a\"b", "eth0"}};
    EXPECT_EQ(
        devices_json(d, {{"eth0", "10.0.0.1"}}, false),
        "{\"adapter\":\"eth0\",\"address\":\"10.0.0.1\",\"adapters\":[{\"name\":\"eth0\","
        "\"address\":\"10.0.0.1\"}],\"devices\":["
        "{\"ip\":\"10.0.0.2\",\"id\":\"7\",\"mac\":null,\"version\":\"a\\\"b\",\"adapter\":\"eth0\"}]}\n");
    EXPECT_EQ(devices_json({}, {{"eth0", "10.0.0.1"}}, false),
              "{\"adapter\":\"eth0\",\"address\":\"10.0.0.1\",\"adapters\":[{\"name\":\"eth0\","
              "\"address\":\"10.0.0.1\"}],\"devices\":[]}\n");
}

TEST(CliAdapters, DefaultIsTheFirstNonLoopbackAdapterThatIsUp) {
    auto adapter = [](const char* name, const char* ip, bool lo, bool up) {
        LocalAdapter a;
        a.name = name;
        a.address = *parse_ipv4(ip);
        a.loopback = lo;
        a.up = up;
        return a;
    };
    std::vector<LocalAdapter> list = {adapter("lo", "127.0.0.1", true, true),
                                      adapter("eth0", "10.0.0.1", false, false),
                                      adapter("eth1", "10.0.1.1", false, true),
                                      adapter("eth2", "10.0.2.1", false, true)};
    EXPECT_EQ(choose_adapter(list, "")->name, "eth1");
    EXPECT_EQ(choose_adapter(list, "eth0")->name, "eth0") << "a named adapter is taken as asked";
    EXPECT_EQ(choose_adapter(list, "lo")->name, "lo");
    EXPECT_EQ(choose_adapter(list, "eth"), nullptr);
    EXPECT_EQ(choose_adapter({list[0]}, ""), nullptr);
    // The machine's own list always has loopback ("lo" on Linux), found by its name.
    const std::vector<LocalAdapter> own = list_local_adapters();
    const auto lo = std::find_if(own.begin(), own.end(),
                                 [](const LocalAdapter& a) { return a.loopback; });
    ASSERT_NE(lo, own.end());
    EXPECT_EQ(choose_adapter(own, lo->name), &*lo);
    EXPECT_EQ(ipv4_text(lo->address).rfind("127.", 0), 0u);
}

}  // namespace
}  // namespace quillon::cli
