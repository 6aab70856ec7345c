// SPDX-License-Identifier: Apache-2.0
// The simulator's upgrade service on loopback: what a well-behaved device does with good and bad
// images, the reboot record, and the record file that tests rely on.
#include <zlib.h>

#include <thread>

#include "support/sim_fixture.h"
#include "support/wait_until.h"

namespace quillon::labtest {
namespace {

uint32_t zlib_digest(const std::vector<uint8_t>& d, std::size_t n) {
    return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), d.data(), static_cast<uInt>(n)));
}

std::string hex8(uint32_t v) {
    char b[12];
    std::snprintf(b, sizeof b, "%08x", v);
    return b;
}

class DevsimUpgrade : public SimFixture {};

TEST(ImageCrc, MatchesKnownValueOfTheChecksumRule) {
    // "abc" with the flag clear gives 0xCA6598D0 under the device's checksum rule.
    EXPECT_EQ(image_crc({'a', 'b', 'c'}, 0, false), 0xCA6598D0u);
    EXPECT_EQ(image_crc({'a' ^ 0x21, 'b' ^ 0x21, 'c' ^ 0x21}, 0x21, true), 0xCA6598D0u);
}

TEST_F(DevsimUpgrade, GoodImageEndsWithF1AndTheRecordHoldsWhatWasSent) {
    start_fleet(3);
    const Image img = make_image(150000, 7);
    UpgradeClient c;
    EXPECT_EQ(known(upgrade(1, img, c)), normal_sequence(1));
    c.close();

    auto lines = wait_record_lines(record, ips[1], 1);
    ASSERT_EQ(lines.size(), 1u);
    const std::string& l = lines[0];
    EXPECT_EQ(json_field(l, "result"), "success");
    EXPECT_EQ(json_field(l, "checksum"), "ok");
    EXPECT_EQ(json_field(l, "received"), "150000");
    EXPECT_EQ(json_field(l, "length"), "150000");
    EXPECT_EQ(json_field(l, "digest"), hex8(zlib_digest(img.data, img.data.size())));
    std::string header_hex;
    for (uint8_t b : img.header) header_hex += hex8(b).substr(6);
    EXPECT_EQ(json_field(l, "header"), header_hex);
    EXPECT_EQ(json_field(l, "reboot_records"), "0");
    EXPECT_EQ(json_field(l, "attempt"), "1");
    // Other devices received nothing.
    EXPECT_TRUE(record_lines(record, ips[0]).empty());
}

TEST_F(DevsimUpgrade, ChecksumFollowsTheXorKeyAndFailsOnAnyAlteredByte) {
    start_fleet(4);
    {
        const Image img = make_image(40000, 11, 0x5A, true);
        UpgradeClient c;
        EXPECT_EQ(known(upgrade(0, img, c)).back(), "F1");
    }
    {
        // The flag set but the crc taken over the plain bytes: the device must notice.
        Image img = make_image(40000, 11, 0x5A, true);
        set_le32(img.header, 8, image_crc(img.data, 0, false));
        UpgradeClient c;
        EXPECT_EQ(known(upgrade(1, img, c)).back(), "F0");
    }
    {
        Image img = make_image(40000, 12);
        img.data[39999] ^= 0x01;
        UpgradeClient c;
        EXPECT_EQ(known(upgrade(2, img, c)), normal_sequence(0));
        c.close();
        auto lines = wait_record_lines(record, ips[2], 1);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(json_field(lines[0], "result"), "failed");
        EXPECT_EQ(json_field(lines[0], "reason"), "checksum");
        EXPECT_EQ(json_field(lines[0], "checksum"), "bad");
        // The digest is of the bytes as they arrived, altered byte included.
        EXPECT_EQ(json_field(lines[0], "digest"), hex8(zlib_digest(img.data, img.data.size())));
    }
}

TEST_F(DevsimUpgrade, ShorterLengthThanTheChecksummedDataFailsAndZeroLengthIsRefused) {
    start_fleet(2);
    {
        // The crc covers all data, the header asks for fewer bytes: the device checks what it got.
        Image img = make_image(30000, 3);
        set_le32(img.header, 4, 20000);
        UpgradeClient c;
        EXPECT_EQ(known(upgrade(0, img, c, 20000)), normal_sequence(0));
        c.close();
        auto lines = wait_record_lines(record, ips[0], 1);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(json_field(lines[0], "received"), "20000");
        EXPECT_EQ(json_field(lines[0], "reason"), "checksum");
    }
    {
        Image img = make_image(100, 3);
        set_le32(img.header, 4, 0);
        UpgradeClient c;
        EXPECT_EQ(known(upgrade(1, img, c, 0)), std::vector<std::string>{"F0"});
        c.close();
        auto lines = wait_record_lines(record, ips[1], 1);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(json_field(lines[0], "reason"), "length");
    }
}

TEST_F(DevsimUpgrade, ConnectionCutInsideTheImageIsRecordedAsClosed) {
    start_fleet(1);
    const Image img = make_image(100000, 5);
    UpgradeClient c;
    ASSERT_EQ(c.connect(dev(0), options.upgrade_port, 2000ms), ConnectResult::connected);
    ASSERT_TRUE(c.send_image(img, 30000));
    c.close();
    auto lines = wait_record_lines(record, ips[0], 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(json_field(lines[0], "result"), "closed");
    EXPECT_EQ(json_field(lines[0], "received"), "30000");
    EXPECT_EQ(json_field(lines[0], "digest"), hex8(zlib_digest(img.data, 30000)));
}

TEST_F(DevsimUpgrade, RebootRecordTakesTheDeviceAwayAndBringsItBackWithTheNextVersion) {
    auto opts = fast_options();
    opts.reboot_ms = 2500;
    start_fleet(3, {}, opts);
    ASSERT_EQ(directed_search(1).size(), 1u);
    EXPECT_EQ(directed_search(1)[0].answer.version, "1.0.0");

    UpgradeClient c;
    EXPECT_EQ(known(upgrade(1, make_image(5000, 1), c)).back(), "F1");
    ASSERT_TRUE(c.send_reboot());
    EXPECT_TRUE(c.wait_closed(3s));
    const auto rebooted = Clock::now();

    // Away: refused at once, and silent to searches; its neighbours are not affected.
    UpgradeClient probe;
    EXPECT_EQ(probe.connect(dev(1), options.upgrade_port, 500ms), ConnectResult::refused);
    EXPECT_TRUE(directed_search(1, 200ms).empty());
    EXPECT_EQ(probe.connect(dev(2), options.upgrade_port, 500ms), ConnectResult::connected);
    probe.close();
    ASSERT_LT(Clock::now() - rebooted, 2000ms) << "machine too slow to see the device away";

    EXPECT_TRUE(
        wait_for_connect_result(dev(1), options.upgrade_port, ConnectResult::connected, 10s));
    EXPECT_GE(Clock::now() - rebooted, 2400ms);
    auto answers = directed_search(1);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].answer.version, "1.0.0-new");

    auto lines = wait_record_lines(record, ips[1], 1);
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(json_field(lines[0], "reboot_records"), "1");
    EXPECT_EQ(json_field(lines[0], "result"), "success");
}

TEST_F(DevsimUpgrade, RebootAfterAFailedImageKeepsTheOldVersion) {
    start_fleet(1);
    Image img = make_image(5000, 2);
    img.data[0] ^= 0xFF;
    UpgradeClient c;
    EXPECT_EQ(known(upgrade(0, img, c)).back(), "F0");
    ASSERT_TRUE(c.send_reboot());
    EXPECT_TRUE(c.wait_closed(3s));
    EXPECT_TRUE(
        wait_for_connect_result(dev(0), options.upgrade_port, ConnectResult::refused, 500ms));
    EXPECT_TRUE(
        wait_for_connect_result(dev(0), options.upgrade_port, ConnectResult::connected, 10s));
    auto answers = directed_search(0);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].answer.version, "1.0.0");
}

TEST_F(DevsimUpgrade, SilentDownModeLetsConnectionAttemptsTimeOut) {
    auto opts = fast_options();
    opts.down_mode = devsim::DownMode::silent;
    opts.reboot_ms = 1500;
    start_fleet(1, {}, opts);
    UpgradeClient c;
    EXPECT_EQ(known(upgrade(0, make_image(3000, 4), c)).back(), "F1");
    ASSERT_TRUE(c.send_reboot());
    EXPECT_TRUE(c.wait_closed(3s));
    UpgradeClient probe;
    EXPECT_EQ(probe.connect(dev(0), options.upgrade_port, 300ms), ConnectResult::timeout);
    EXPECT_TRUE(
        wait_for_connect_result(dev(0), options.upgrade_port, ConnectResult::connected, 10s));
}

TEST_F(DevsimUpgrade, ManyDevicesUpgradeAtOnce) {
    constexpr std::size_t kDevices = 24;
    start_fleet(kDevices);
    std::vector<std::vector<std::string>> got(kDevices);
    std::vector<Image> imgs;
    for (std::size_t i = 0; i < kDevices; ++i)
        imgs.push_back(make_image(60000 + i * 97, static_cast<uint32_t>(i)));
    {
        std::vector<std::thread> ts;
        for (std::size_t i = 0; i < kDevices; ++i)
            ts.emplace_back([&, i] {
                UpgradeClient c;
                if (c.connect(dev(i), options.upgrade_port, 5000ms) != ConnectResult::connected)
                    return;
                if (!c.send_image(imgs[i], imgs[i].data.size())) return;
                got[i] = known(c.read_until_finish(30s));
            });
        for (auto& t : ts) t.join();
    }
    for (std::size_t i = 0; i < kDevices; ++i) {
        EXPECT_EQ(got[i], normal_sequence(1)) << ips[i];
        auto lines = wait_record_lines(record, ips[i], 1);
        ASSERT_EQ(lines.size(), 1u) << ips[i];
        EXPECT_EQ(json_field(lines[0], "digest"),
                  hex8(zlib_digest(imgs[i].data, imgs[i].data.size())));
    }
    // A session is counted when it has ended, a moment after its record is written.
    test::wait_until([&] { return sim->upgrade().successes() >= kDevices; }, 5s);
    EXPECT_EQ(sim->upgrade().successes(), kDevices);
}

TEST_F(DevsimUpgrade, StoppingTheSimulatorEndsOpenConnectionsAndRecordsThem) {
    start_fleet(1);
    UpgradeClient c;
    ASSERT_EQ(c.connect(dev(0), options.upgrade_port, 2000ms), ConnectResult::connected);
    const Image img = make_image(10000, 9);
    ASSERT_TRUE(c.send_image(img, 4000));
    // The device has the header: wait until it has read some data, then stop everything.
    test::wait_until([&] { return sim->upgrade().connections() >= 1; }, 5s);
    sim->stop();
    EXPECT_TRUE(c.wait_closed(3s));
    auto lines = record_lines(record, ips[0]);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(json_field(lines[0], "result"), "aborted");
}

}  // namespace
}  // namespace quillon::labtest
