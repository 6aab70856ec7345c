// SPDX-License-Identifier: Apache-2.0
// The upgrade verb's own pieces: the range text, the summary of a batch, the progress block.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/batch_summary.h"
#include "cli/progress_display.h"
#include "cli/upgrade_images.h"
#include "cli/upgrade_options.h"
#include "engine/engine_internals.h"
#include "engine/upgrade_engine.h"
#include "platform/files.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon::cli {
namespace {

TEST(CliUpgradeRange, AcceptsOneSubnetFromOneTo254) {
    std::string err;
    auto r = parse_range("192.168.1.10-50", err);
    ASSERT_TRUE(r) << err;
    EXPECT_EQ(r->begin, 0xC0A8010Au);
    EXPECT_EQ(r->end, 50);
    r = parse_range("10.0.0.1-10.0.0.254", err);
    ASSERT_TRUE(r) << err;
    EXPECT_EQ(r->end, 254);
    r = parse_range("10.0.0.7-7", err);
    ASSERT_TRUE(r) << err;
    EXPECT_EQ(r->end, 7);
}

TEST(CliUpgradeRange, RefusesWhatTheWindowRefusesAndWhatIsNoRange) {
    for (const char* bad :
         {"10.0.0.0-20", "10.0.0.10-9", "10.0.0.10-255", "10.0.0.10", "10.0.0.10-", "10.0.0-20",
          "10.0.0.10-10.0.1.20", "10.0.0.10-x1", "10.0.0.10-0020", "a.b.c.d-4"}) {
        std::string err;
        EXPECT_FALSE(parse_range(bad, err)) << bad;
        EXPECT_FALSE(err.empty()) << bad;
    }
}

TEST(CliUpgradeRange, HostAddressesOnly) {
    EXPECT_TRUE(is_host_address("198.18.0.10"));
    EXPECT_FALSE(is_host_address("0.0.0.0"));
    EXPECT_FALSE(is_host_address("255.255.255.255"));
    EXPECT_FALSE(is_host_address("198.18.0"));
    EXPECT_FALSE(is_host_address("198.18.0.10 "));
}

TEST(CliUpgradeSummary, DigestIsTheCrcOfTheBytesSentAndPassesAddUp) {
    EngineInternals e;
    std::vector<uint8_t> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
    e.m_img_data[2] = std::make_unique<uint8_t[]>(data.size());
    std::copy(data.begin(), data.end(), e.m_img_data[2].get());
    e.m_img_len[2] = 1000;
    e.m_img_head[2].set_length(600);  // only the first 600 bytes go to a device
    e.m_url[2] = "/images/3_system.img";
    e.m_reboot_after[2] = 1;

    BatchSummary s;
    EXPECT_FALSE(s.images_were_loaded());
    s.images_loaded(e);
    ASSERT_EQ(s.images().size(), 1u);
    const ImageInfo im = s.images()[0];
    EXPECT_EQ(im.slot, 2);
    EXPECT_EQ(im.bytes, 600u);
    EXPECT_EQ(im.crc32, uint32_t(::crc32(0, data.data(), 600)));
    EXPECT_TRUE(im.reboot_after);

    DeviceResult r;
    r.row = 3;
    r.ip = "198.18.0.12";
    r.mac = "02:51:C6:12:00:0C";
    r.elapsed = std::chrono::milliseconds(1500);
    s.pass_started(0, 5, false);
    s.device_ended(r);
    s.pass_started(1, 1, false);
    r.pass = 1;
    r.success = true;
    r.slots_done = 4;
    r.mac.clear();  // a later visit that knows no MAC keeps the one seen
    s.device_ended(r);
    const auto tried = s.tried();
    ASSERT_EQ(tried.count(3), 1u);
    EXPECT_EQ(tried.at(3).outcome, "success");
    EXPECT_EQ(tried.at(3).passes, 2);
    EXPECT_DOUBLE_EQ(tried.at(3).elapsed_s, 3.0);
    EXPECT_EQ(tried.at(3).mac, "02:51:C6:12:00:0C");
    EXPECT_EQ(s.passes(), 2);
}

TEST(CliUpgradeSummary, JsonNamesEveryDeviceWithTheImagesItGotAndStaysValidForHostileTexts) {
    SummaryDoc doc;
    doc.mode = "list";
    doc.images = {{0, "/i/1_boot.img", 10, 0xDEADBEEF, false},
                  {3, "/i/4_fw.img", 20, 0x0000ABCD, true}};
    DeviceSummary ok{"198.18.0.10", "02:00", "PANEL", "success", 1, 2.5, 0x9};
    DeviceSummary bad{"198.18.0.11", "\"<x>\n\x01", "WALL", "failure", 2, 7.25, 0x1};
    DeviceSummary idle{"198.18.0.12", "", "LIFT", "not started", 0, 0, 0};
    ok.came_back = 1;
    ok.version_before = "1.0";
    ok.version_after = "2.0";
    ok.back_after_s = 42;
    ok.adapter = "lab0";
    doc.devices = {ok, bad, idle};
    doc.unreachable = {"198.18.0.20"};
    doc.passes = 2;
    doc.counter = "(  2/3  )";
    doc.report_path = "/w/log/upgrade_user.html";
    doc.exit_code = 1;
    const std::string j = summary_json(doc);

    EXPECT_NE(
        j.find(
            R"({"ip":"198.18.0.10","mac":"02:00","type":"PANEL","outcome":"success","passes":1,"elapsed_s":2.500,"images":[{"slot":"boot","bytes":10,"crc32":"deadbeef"},{"slot":"app","bytes":20,"crc32":"0000abcd"}],"came_back":true,"version_before":"1.0","version_after":"2.0","back_after_s":42,"same_version":false,"name":"","adapter":"lab0"})"),
        std::string::npos)
        << j;
    EXPECT_NE(j.find(R"("mac":"\"<x>\n\u0001")"), std::string::npos) << j;
    EXPECT_NE(j.find(
                  R"("outcome":"failure","passes":2,"elapsed_s":7.250,"images":[{"slot":"boot")"),
              std::string::npos)
        << j;
    EXPECT_NE(
        j.find(
            R"("outcome":"not started","passes":0,"elapsed_s":0.000,"images":[],"came_back":null,"version_before":"","version_after":null,"back_after_s":null,"same_version":false,"name":"","adapter":null})"),
        std::string::npos)
        << j;
    EXPECT_NE(
        j.find(
            R"("totals":{"devices":3,"succeeded":1,"failed":1,"not_started":1,"unreachable":1,"passes":2,"came_back":1,"not_back":0,"back_same_version":0,"not_found":0,"conflict":0})"),
        std::string::npos)
        << j;
    EXPECT_NE(j.find(R"x("counter":"(  2/3  )")x"), std::string::npos) << j;
    EXPECT_NE(j.find(R"("exit_code":1})"), std::string::npos) << j;
    EXPECT_EQ(j.back(), '\n');
    EXPECT_EQ(j.find('\n'), j.size() - 1);  // one line

    const std::string t = summary_table(doc);
    EXPECT_EQ(t.find('\x01'), std::string::npos);
    EXPECT_NE(t.find("1 of 3 devices upgraded, 1 address(es) unreachable, 2 passes"),
              std::string::npos)
        << t;
}

// A simulated upgrade (fake_burn in config.ini) must not read like a real one.
TEST(CliUpgradeSummary, ASimulatedUpgradeSaysSo) {
    SummaryDoc doc;
    doc.mode = "list";
    doc.devices = {DeviceSummary{"198.18.0.10", "02:00", "PANEL", "success", 1, 2.5, 0x1}};
    EXPECT_NE(summary_json(doc).find("\"fake_burn\":false"), std::string::npos);
    EXPECT_EQ(summary_table(doc).find("fake burn"), std::string::npos);
    doc.fake_burn = true;
    EXPECT_NE(summary_json(doc).find("\"fake_burn\":true"), std::string::npos);
    EXPECT_NE(summary_table(doc).find("fake burn: the devices went through the simulated upgrade"),
              std::string::npos);
}

TEST(CliUpgradeProgress, TheBlockFitsTheTerminalAndCarriesNoControlBytes) {
    ProgressState s;
    s.image_bar = 50;
    s.device_bar = 140;  // clamped
    s.batch_bar = 10;
    s.counter = "(  1/10 )";
    s.workers = {"[0] IP:198.18.0.10  image[boot] sending [50%]", "[1] \x1b[2Jevil"};
    const auto lines = progress_lines(s, 200);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("IMG [##########----------]  50%"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("DEV [####################] 100%"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("(  1/10 )"), std::string::npos);
    EXPECT_EQ(lines[2].find('\x1b'), std::string::npos);
    for (const auto& l : progress_lines(s, 30)) EXPECT_LE(l.size(), 29u) << l;
}

}  // namespace
TEST(CliUpgradeSummary, CsvHasOneQuotedLinePerDeviceAndDefusesFormulas) {
    SummaryDoc doc;
    doc.images = {{0, "/i/1_boot.img", 10, 0xDEADBEEF, false},
                  {3, "/i/4_fw.img", 20, 0x0000ABCD, true}};
    DeviceSummary ok{"198.18.0.10", "02:00", "PANEL", "success", 1, 2.5, 0x9};
    DeviceSummary hostile{"198.18.0.11", "=HYPERLINK(\"x\"),1", "WALL", "failure", 2, 7.25, 0x1};
    doc.devices = {ok, hostile};
    const std::string c = summary_csv(doc);
    EXPECT_EQ(
        c,
        "address,mac,name,type,outcome,passes,elapsed_s,images,came_back,version_before,"
        "version_after,back_after_s\r\n"
        "\"198.18.0.10\",\"02:00\",\"\",\"PANEL\",\"success\",1,2.500,\"boot:deadbeef app:0000abcd\",,\"\",\"\",\r\n"
        "\"198.18.0.11\",\"'=HYPERLINK(\"\"x\"\"),1\",\"\",\"WALL\",\"failure\",2,7.250,\"boot:deadbeef\",,\"\",\"\",\r\n");
}

// The folder beside a package is emptied before its import: --package naming that folder, or
// a package that is not there, must leave it as it is.
TEST(CliUpgradeImages, APackageThatIsNoFileDeletesNothing) {
    const test::TempDir tmp;
    const std::string dir = tmp.path();
    const std::string images = dir + "/brelk_upgrade_image";
    ASSERT_TRUE(make_directory(images, 0755));
    const std::string image = images + "/1_uboot.img";
    test::write_file(image, "x");
    for (const std::string& name : {images, dir + "/fw_v2.zip"}) {
        UpgradeOptions opt;
        opt.package = name;
        ChosenImages chosen;
        std::vector<std::string> said;
        EXPECT_EQ(choose_images(opt, chosen, [&](const std::string& t) { said.push_back(t); }), 2)
            << name;
        ASSERT_FALSE(said.empty());
        EXPECT_NE(said[0].find("no package"), std::string::npos) << said[0];
        EXPECT_TRUE(is_regular_file(image)) << name;
    }
}

}  // namespace quillon::cli
