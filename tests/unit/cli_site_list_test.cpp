// SPDX-License-Identifier: Apache-2.0
// The site list of quillon-cli upgrade --devices-from: the reader (plain lists, CSVs, hostile
// files), the judging of the answers from the listed addresses, and the listed devices in the
// summary.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/batch_summary.h"
#include "cli/site_list.h"
#include "cli/site_outcomes.h"
#include "cli/site_search.h"
#include "cli/site_search_verb.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon::cli {
namespace {

std::vector<SiteDevice> parsed(const std::string& text) {
    std::vector<SiteDevice> out;
    std::string err;
    EXPECT_TRUE(parse_site_list(text, "site.csv", out, err)) << err;
    return out;
}

// The error for a text that must be refused.
std::string refused(const std::string& text) {
    std::vector<SiteDevice> out;
    std::string err;
    EXPECT_FALSE(parse_site_list(text, "site.csv", out, err))
        << "accepted: " << text.substr(0, 200);
    EXPECT_FALSE(err.empty());
    return err;
}

TEST(CliSiteList, PlainListWithCommentsBlankLinesCrLfAndBom) {
    const auto d = parsed(
        "\xEF\xBB\xBF# the lobby\r\n198.18.0.10\r\n\r\n  198.18.0.11  # door 2\r\n\t\n198.18.0.12");
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].ip, "198.18.0.10");
    EXPECT_EQ(d[0].line, 2);
    EXPECT_EQ(d[1].ip, "198.18.0.11");
    EXPECT_EQ(d[1].line, 4);
    EXPECT_EQ(d[2].ip, "198.18.0.12");
    EXPECT_EQ(d[2].line, 6);
    for (const auto& x : d) EXPECT_TRUE(x.mac.empty() && x.name.empty());
}

TEST(CliSiteList, CsvColumnsInAnyOrderQuotedFieldsAndExtraColumns) {
    const auto d = parsed(
        "# exported from the site plan\n"
        "Name , floor, MAC,IP\n"
        "\"Block B, door 3\",2,02-51-c6-12-00-0a,198.18.0.10\n"
        "\"say \"\"hi\"\"\",3,,198.18.0.11\n"
        "  张伟的门  ,4,0251C612000C , 198.18.0.12\n"
        ",5,,198.18.0.13\r\n");
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].name, "Block B, door 3");
    EXPECT_EQ(d[0].mac, "02:51:C6:12:00:0A");
    EXPECT_EQ(d[0].ip, "198.18.0.10");
    EXPECT_EQ(d[0].line, 3);
    EXPECT_EQ(d[1].name, "say \"hi\"");
    EXPECT_EQ(d[1].mac, "");
    EXPECT_EQ(d[2].name, "张伟的门");
    EXPECT_EQ(d[2].mac, "02:51:C6:12:00:0C");
    EXPECT_EQ(d[2].ip, "198.18.0.12");
    EXPECT_EQ(d[3].name, "");
    EXPECT_EQ(d[3].ip, "198.18.0.13");
}

// Where the comma is the decimal mark, spreadsheets write CSV with ';'.
TEST(CliSiteList, SemicolonCsvFromTheHeader) {
    const auto d = parsed(
        "IP;Name;MAC\n198.18.0.10;\"Tür 3; Block B\";02:51:C6:12:00:0A\n198.18.0.11;Hall, east;\n");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].name, "Tür 3; Block B");
    EXPECT_EQ(d[0].mac, "02:51:C6:12:00:0A");
    EXPECT_EQ(d[1].name, "Hall, east");
    EXPECT_EQ(refused("ip;name\n198.18.0.10;a;b\n"),
              "site.csv:2: 3 fields but the header has 2 (a semicolon inside a name needs quotes)");
}

TEST(CliSiteList, CsvRowsMayEndBeforeTheLastColumns) {
    const auto d = parsed("ip,mac,name\n198.18.0.10\n198.18.0.11,02:51:C6:12:00:0B\n");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[1].mac, "02:51:C6:12:00:0B");
    EXPECT_EQ(d[1].name, "");
}

// Every refusal names the file and the line, and why.
TEST(CliSiteList, BadLinesAreRefusedWithFileLineAndReason) {
    struct Case {
        std::string text, expected;
    } cases[] = {
        {"198.18.0.10\nhost.example\n",
         "site.csv:2: 'host.example' is not the IPv4 address of a host"},
        {"198.18.0.256\n", "site.csv:1: '198.18.0.256' is not the IPv4 address"},
        {"0.0.0.0\n", "site.csv:1: '0.0.0.0' is not the IPv4 address"},
        {"255.255.255.255\n", "site.csv:1: '255.255.255.255' is not the IPv4 address"},
        {"198.18.0.010\n", "site.csv:1: '198.18.0.010' is not"},
        {"198.18.0.10 02:51:C6:12:00:0A\n", "site.csv:1: one address a line"},
        {"198.18.0.10\n198.18.0.11,x\n", "site.csv:2: '198.18.0.11,x' is not"},
        {"name,mac\nlobby,02:51:C6:12:00:0A\n",
         "site.csv:1: a CSV needs a header line with an ip column"},
        {"198.18.0.10,02:51:C6:12:00:0A,lobby\n",
         "site.csv:1: a CSV needs a header line with an ip column"},
        {"ip,IP\n198.18.0.10,198.18.0.11\n", "site.csv:1: the header has two ip columns"},
        {"ip,mac\n198.18.0.10,02:51:C6:12:00\n",
         "site.csv:2: '02:51:C6:12:00' is not a device's MAC"},
        {"ip,mac\n198.18.0.10,02:51:C6:12:00:0G\n", "site.csv:2: '02:51:C6:12:00:0G' is not"},
        {"ip,mac\n198.18.0.10,02-51:C6-12-00-0A\n", "site.csv:2: '02-51:C6-12-00-0A' is not"},
        {"ip,mac\n198.18.0.10,00:00:00:00:00:00\n", "site.csv:2: '00:00:00:00:00:00' is not"},
        {"ip,mac\n198.18.0.10,ff:ff:ff:ff:ff:ff\n", "site.csv:2: 'ff:ff:ff:ff:ff:ff' is not"},
        {"ip,name\n198.18.0.10,Block B, door 3\n", "site.csv:2: 3 fields but the header has 2"},
        {"ip,name\n198.18.0.10,\"Block B\n",
         "site.csv:2: a quoted field is not closed on its line"},
        {"ip,name\n198.18.0.10,\"Block\" B\n", "site.csv:2: text after the closing quote"},
        {"ip,name\n198.18.0.10,Block \"B\"\n", "site.csv:2: a quote inside a field"},
        {"ip,name\n198.18.0.10,a\x1b[2Jb\n", "site.csv:2: the name holds a control character"},
        {"ip,name\n198.18.0.10,Caf\xe9\n", "site.csv:2: the name is not UTF-8 text"},
        {"ip,name\n198.18.0.10,\xed\xa0\x80\n", "site.csv:2: the name is not UTF-8 text"},
        {"ip,name\n,lobby\n", "site.csv:2: no address in the ip column"},
        {"name,ip\n#3 lobby,198.18.0.10\n",
         "site.csv:2: a line that begins with '#' is a comment, but this one lists a device"},
        {"", "site.csv: no device listed"},
        {"# nothing yet\n\n", "site.csv: no device listed"},
        {"ip,mac,name\n", "site.csv: no device listed"},
        {"\xFF\xFE"
         "1\0"
         "9\0",
         "site.csv: UTF-16 text"},
        {"ip\tname\n198.18.0.10\tlobby\n", "site.csv:1: tab-separated text: save the list as CSV"},
        {"198.18.0.10\r198.18.0.11\r", "site.csv:1: a CR inside a line"},
        {"ip,name\n198.18.0.10,a\rb\n", "site.csv:2: a CR inside a line"},
        {"name;mac\nlobby;02:51:C6:12:00:0A\n",
         "site.csv:1: a CSV needs a header line with an ip column"},
    };
    for (const Case& c : cases) {
        const std::string err = refused(c.text);
        EXPECT_EQ(err.rfind(c.expected, 0), 0u) << "for " << c.text << "\n got: " << err;
    }
}

TEST(CliSiteList, DuplicateAddressesAndMacsNameBothLines) {
    EXPECT_EQ(refused("198.18.0.10\n198.18.0.11\n# again\n198.18.0.10\n"),
              "site.csv:4: 198.18.0.10 is listed twice, on lines 1 and 4");
    EXPECT_EQ(refused("ip,mac\n198.18.0.10,02:51:c6:12:00:0a\n198.18.0.11,02-51-C6-12-00-0A\n"),
              "site.csv:3: MAC 02:51:C6:12:00:0A is listed twice, on lines 2 and 3");
}

TEST(CliSiteList, HostileBytesAreRefusedNotRead) {
    // A line over the bound, wherever it is, however it ends.
    const std::string huge(kSiteListMaxLine + 1, 'A');
    EXPECT_EQ(refused("198.18.0.10\n" + huge + "\n198.18.0.11\n"),
              "site.csv:2: a line longer than 4096 bytes");
    EXPECT_EQ(refused("ip,name\n198.18.0.10,x\n198.18.0.11," + huge),
              "site.csv:3: a line longer than 4096 bytes");
    // One just within it is a line like any other.
    const std::string name(kSiteListMaxLine - std::string("198.18.0.10,").size(), 'n');
    EXPECT_EQ(parsed("ip,name\n198.18.0.10," + name + "\n").at(0).name, name);
    // NUL bytes: a binary file given by mistake.
    EXPECT_EQ(refused(std::string("198.18.0.10\n198.18\0.0.11\n", 25)),
              "site.csv:2: a NUL byte: this is no text file");
    EXPECT_EQ(refused(std::string("ip,name\n198.18.0.10,a\0b\n", 24)),
              "site.csv:2: a NUL byte: this is no text file");
    // A value quoted in a message is cut short and made harmless for the terminal.
    const std::string err = refused("\x1b]0;owned\x07" + std::string(200, 'x') + "\n");
    EXPECT_EQ(err.find('\x1b'), std::string::npos) << err;
    EXPECT_LT(err.size(), 150u) << err;
}

TEST(CliSiteList, NoMoreDevicesThanTheBound) {
    std::string text;
    for (std::size_t i = 0; i <= kSiteListMaxDevices; ++i)
        text += "10." + std::to_string(1 + (i >> 16)) + "." + std::to_string((i >> 8) & 255) + "." +
                std::to_string(i & 255) + "\n";
    // 10.1.0.0 is the first line and a host address here (no network is known to the reader).
    const std::string err = refused(text);
    EXPECT_EQ(err,
              "site.csv:" + std::to_string(kSiteListMaxDevices + 1) + ": more than 65536 devices");
}

TEST(CliSiteList, MacForms) {
    EXPECT_EQ(normalise_mac("02:51:c6:12:00:0a"), "02:51:C6:12:00:0A");
    EXPECT_EQ(normalise_mac("02-51-C6-12-00-0A"), "02:51:C6:12:00:0A");
    EXPECT_EQ(normalise_mac("0251c612000a"), "02:51:C6:12:00:0A");
    for (const char* bad :
         {"", "02:51:C6:12:00", "02:51:C6:12:00:0A:", "02.51.C6.12.00.0A", "0251c612000",
          "02:51:C6:12:00:-A", "00-00-00-00-00-00", "FFFFFFFFFFFF"})
        EXPECT_EQ(normalise_mac(bad), "") << bad;
}

TEST(CliSiteList, ReadsAFileAndRefusesWhatIsNoSiteList) {
    const test::TempDir tmp;
    const std::string list = tmp / "站点 list.csv";
    test::write_file(list, "ip,name\r\n198.18.0.10,lobby\r\n");
    std::vector<SiteDevice> out;
    std::string err;
    ASSERT_TRUE(read_site_list(list, out, err)) << err;
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].name, "lobby");

    EXPECT_FALSE(read_site_list(tmp / "missing.csv", out, err));
    EXPECT_EQ(err.rfind(tmp / "missing.csv: cannot be read", 0), 0u) << err;
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(read_site_list(tmp.path(), out, err));
    EXPECT_FALSE(err.empty());
    const std::string big = tmp / "big.csv";
    test::write_file(big, std::string(kSiteListMaxBytes + 1, '\n'));
    EXPECT_FALSE(read_site_list(big, out, err));
    EXPECT_EQ(err, big + ": larger than 4 MiB; a site list holds one short line per device");
    // The file's own bad line is named with the file's path.
    test::write_file(list, "198.18.0.10\n198.18.0.10\n");
    EXPECT_FALSE(read_site_list(list, out, err));
    EXPECT_EQ(err, list + ":2: 198.18.0.10 is listed twice, on lines 1 and 2");
}

// ---- the answers from the listed addresses ----

class RecordingSink : public FoundDeviceSink {
public:
    void add_found_device(const char* ip, const char*, const char*, const char*,
                          const char*) override {
        ips.push_back(ip ? ip : "(null)");
    }
    std::vector<std::string> ips;
};

TEST(CliSiteSearch, AnswersAreKeptOnlyFromListedAddressesWhileListeningAndAllHandedOn) {
    RecordingSink next;
    SiteAnswers a(next);
    const std::vector<SiteDevice> list = parsed("198.18.0.10\n198.18.0.11\n");
    a.add_found_device("198.18.0.10", "1", "02:51:C6:12:00:0A", "1.0",
                       "Ready");  // before listening
    a.listen(list);
    a.add_found_device("198.18.0.10", "1", "02:51:C6:12:00:0A", "1.0", "Ready");
    a.add_found_device("198.18.0.10", "1", "02:51:c6:12:00:0a", "1.0",
                       "Ready");  // the same MAC again
    a.add_found_device("198.18.0.99", "1", "02:51:C6:12:00:63", "1.0", "Ready");  // not listed
    a.add_found_device(nullptr, "1", "02:51:C6:12:00:63", "1.0", "Ready");
    ReceivedAnswer r;
    r.answer.ip = "198.18.0.11";
    r.answer.mac = "02:51:C6:12:00:0B";
    a.add_found_devices({r}, "Ready");
    a.stop_listening();
    a.add_found_device("198.18.0.11", "1", "06:C0:C6:12:00:0B", "1.0", "Ready");  // after
    EXPECT_EQ(next.ips,
              (std::vector<std::string>{"198.18.0.10", "198.18.0.10", "198.18.0.10", "198.18.0.99",
                                        "(null)", "198.18.0.11", "198.18.0.11"}));
    const auto seen = a.answers();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen.at("198.18.0.10").size(), 1u);
    ASSERT_EQ(seen.at("198.18.0.11").size(), 1u);
    EXPECT_EQ(seen.at("198.18.0.11")[0].mac, "02:51:C6:12:00:0B");
    EXPECT_EQ(seen.at("198.18.0.11")[0].id, "");
    EXPECT_TRUE(a.answered("198.18.0.11"));
    EXPECT_FALSE(a.answered("198.18.0.99"));
}

TEST(CliSiteSearch, JudgedAsFoundNotFoundOrConflict) {
    const auto list = parsed(
        "ip,mac,name\n198.18.0.10,02:51:c6:12:00:0a,ok\n198.18.0.11,,silent\n198.18.0.12,02:51:C6:12:00:0C,wrong\n"
        "198.18.0.13,,two\n198.18.0.14,,any mac\n198.18.0.15,,same MAC as .14\n");
    std::map<std::string, std::vector<SiteAnswer>> answers;
    answers["198.18.0.10"] = {{"1019901", "02:51:C6:12:00:0A", "1.0"}};
    answers["198.18.0.12"] = {{"1019901", "02:51:C6:12:00:99", "1.0"}};
    answers["198.18.0.13"] = {{"1", "02:51:C6:12:00:0D", "1.0"}, {"1", "06:C0:C6:12:00:0D", "1.0"}};
    answers["198.18.0.14"] = {{"1", "02:51:C6:12:00:0E", "2.0"}};
    answers["198.18.0.15"] = {{"1", "02-51-c6-12-00-0e", "2.0"}};
    const auto c = judge_site_devices(list, answers);
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c[0].state, SiteState::found);
    EXPECT_EQ(c[0].answer.version, "1.0");
    EXPECT_EQ(c[1].state, SiteState::not_found);
    EXPECT_EQ(c[2].state, SiteState::conflict);
    EXPECT_EQ(c[2].other_mac, "02:51:C6:12:00:0C");
    EXPECT_NE(c[2].why.find(
                  "MAC 02:51:C6:12:00:99 answers at this address; the list says 02:51:C6:12:00:0C"),
              std::string::npos)
        << c[2].why;
    EXPECT_EQ(c[3].state, SiteState::conflict);
    EXPECT_EQ(c[3].other_mac, "06:C0:C6:12:00:0D");
    EXPECT_EQ(c[4].state, SiteState::found);
    EXPECT_EQ(c[5].state, SiteState::conflict);
    EXPECT_EQ(c[5].why, "MAC 02-51-c6-12-00-0e answers at 198.18.0.14 too");
    // The row a found device gets: what its answer says, listed as a named device.
    const FoundDevice row = site_row(c[4], "Ready", 0);
    EXPECT_EQ(row.ip, "198.18.0.14");
    EXPECT_EQ(row.mac, "02:51:C6:12:00:0E");
    EXPECT_EQ(row.version, "2.0");
    EXPECT_TRUE(row.named);
}

TEST(CliSiteSearch, SearchVerbTellsEachListedDeviceInTableAndJson) {
    const auto list = parsed(
        "ip,mac,name\n198.18.0.10,,\"Tür \"\"3\"\"\"\n198.18.0.11,,\n198.18.0.12,02:51:C6:12:00:0C,x\n");
    std::map<std::string, std::vector<SiteAnswer>> answers;
    answers["198.18.0.10"] = {{"1019901", "02:51:C6:12:00:0A", "1.0\x1b[2J"}};
    answers["198.18.0.12"] = {{"1", "02:51:C6:12:00:99", "1.0"}};
    const auto checks = judge_site_devices(list, answers);
    const std::string table = site_checks_table(checks);
    EXPECT_EQ(
        table,
        "ADDRESS      NAME     STATE      MAC                VERSION  WHY\n"
        "198.18.0.10  Tür \"3\"  found      02:51:C6:12:00:0A  1.0?[2J\n"
        "198.18.0.11  -        not found  -                  -\n"
        "198.18.0.12  x        conflict   02:51:C6:12:00:99  1.0      MAC 02:51:C6:12:00:99 answers at this "
        "address; the list says 02:51:C6:12:00:0C\n");
    const std::string json = site_checks_json(checks, "lab0", "198.18.0.1");
    EXPECT_EQ(
        json.rfind(
            "{\"adapter\":\"lab0\",\"address\":\"198.18.0.1\",\"devices\":[{\"ip\":\"198.18.0.10\","
            "\"name\":\"Tür \\\"3\\\"\",\"listed_mac\":\"\",\"state\":\"found\",\"id\":\"1019901\",",
            0),
        0u)
        << json;
    EXPECT_NE(
        json.find(
            "{\"ip\":\"198.18.0.11\",\"name\":\"\",\"listed_mac\":\"\",\"state\":\"not found\",\"id\":null,"
            "\"mac\":null,\"version\":null,\"why\":\"\"}"),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("\\u001b[2J"), std::string::npos) << json;
}

// ---- the listed devices in the summary ----

TEST(CliSiteSummary, ListOrderNamesAndTheDevicesLeftOut) {
    const auto list = parsed(
        "ip,mac,name\n198.18.0.12,,\"Block B, door 3\"\n198.18.0.11,02:51:C6:12:00:0B,gone\n"
        "198.18.0.10,,=cmd\n198.18.0.13,02:51:C6:12:00:0D,clash\n");
    std::map<std::string, std::vector<SiteAnswer>> answers;
    answers["198.18.0.10"] = {{"1", "02:51:C6:12:00:0A", "1.0"}};
    answers["198.18.0.12"] = {{"1", "02:51:C6:12:00:0C", "1.0"}};
    answers["198.18.0.13"] = {{"1", "06:C0:C6:12:00:0D", "1.0"}};
    const auto checks = judge_site_devices(list, answers);
    // The batch's rows in the order they were listed (the found ones, as the list has them).
    SummaryDoc doc;
    doc.devices = {{"198.18.0.12", "02:51:C6:12:00:0C", "PANEL", "success", 1, 1.0, 0x1},
                   {"198.18.0.10", "02:51:C6:12:00:0A", "PANEL", "failure", 1, 1.0, 0}};
    merge_site_outcomes(doc.devices, checks);
    ASSERT_EQ(doc.devices.size(), 4u);
    EXPECT_EQ(doc.devices[0].name, "Block B, door 3");
    EXPECT_EQ(doc.devices[0].outcome, "success");
    EXPECT_EQ(doc.devices[1].ip, "198.18.0.11");
    EXPECT_EQ(doc.devices[1].outcome, "not found");
    EXPECT_EQ(doc.devices[1].mac, "02:51:C6:12:00:0B");
    EXPECT_EQ(doc.devices[2].name, "=cmd");
    EXPECT_EQ(doc.devices[2].outcome, "failure");
    EXPECT_EQ(doc.devices[3].outcome, "conflict");

    const std::string json = summary_json(doc);
    EXPECT_NE(json.find("\"same_version\":false,\"name\":\"Block B, door 3\",\"adapter\":null}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"outcome\":\"not found\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"back_same_version\":0,\"not_found\":1,\"conflict\":1}"),
              std::string::npos)
        << json;
    const std::string csv = summary_csv(doc);
    EXPECT_NE(
        csv.find(
            "\r\n\"198.18.0.12\",\"02:51:C6:12:00:0C\",\"Block B, door 3\",\"PANEL\",\"success\","),
        std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\r\n\"198.18.0.10\",\"02:51:C6:12:00:0A\",\"'=cmd\","), std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\r\n\"198.18.0.11\",\"02:51:C6:12:00:0B\",\"gone\",\"\",\"not found\",0,"),
              std::string::npos)
        << csv;
    const std::string table = summary_table(doc);
    EXPECT_NE(table.find("ADDRESS          NAME             MAC"), std::string::npos) << table;
    EXPECT_NE(table.find(
                  "198.18.0.11      gone             02:51:C6:12:00:0B  -         not found"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("1 of 4 devices upgraded, 1 not found, 1 refused for a conflict"),
              std::string::npos)
        << table;
}

TEST(CliSiteSummary, NoNameColumnWithoutNames) {
    SummaryDoc doc;
    doc.devices = {{"198.18.0.12", "02:51:C6:12:00:0C", "PANEL", "success", 1, 1.0, 0x1}};
    EXPECT_EQ(summary_table(doc).find("NAME"), std::string::npos);
}

}  // namespace
}  // namespace quillon::cli
