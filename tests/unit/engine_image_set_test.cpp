// SPDX-License-Identifier: Apache-2.0
// The image set: checksum rule, loading, and refusing damaged or lying image files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <zlib.h>

#include "support/debug_lines.h"
#include "engine_test_support.h"

namespace quillon::test {
namespace {

// The devices' checksum written out bit by bit, independent of zlib and of chunking.
uint32_t reference_checksum(const std::vector<uint8_t>& data, uint8_t flag, uint8_t key) {
    uint32_t c = 0;
    for (uint8_t b : data) {
        if (flag) b ^= key;
        c ^= b;
        for (int i = 0; i < 8; ++i) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return c;
}

TEST(EngineChecksum, MatchesTheDevicesRule) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(image_checksum(abc, 3, 0, 0), 0xCA6598D0u);
    EXPECT_EQ(image_checksum(abc, 0, 0, 0), 0u);
    EXPECT_EQ(image_checksum(nullptr, 0, 0, 0), 0u);
    EXPECT_EQ(image_checksum(nullptr, 0, 1, 0x5A), 0u);

    // Every short length and start offset (the vector CRC folds 16, 64 and 256 bytes at a time and
    // handles the rest apart), then large sizes; keyed and not, with keys of every bit pattern.
    const auto big = pattern(600, 17);
    for (std::size_t off = 0; off < 16; ++off) {
        for (std::size_t n = 1; n + off <= big.size(); n += off == 0 ? 1 : 7) {
            const std::vector<uint8_t> data(big.begin() + long(off), big.begin() + long(off + n));
            const uint8_t key = uint8_t(n * 37 + off);
            EXPECT_EQ(image_checksum(big.data() + off, n, 0, key), reference_checksum(data, 0, 0))
                << n << " bytes at " << off;
            EXPECT_EQ(image_checksum(big.data() + off, n, 1, key), reference_checksum(data, 1, key))
                << n << " bytes at " << off << ", key " << int(key);
        }
    }
    for (std::size_t n : {std::size_t(65537), std::size_t(200000), (std::size_t(3) << 20) + 5}) {
        const auto data = pattern(n, uint32_t(n));
        EXPECT_EQ(image_checksum(data.data(), n, 0, 0x5A), reference_checksum(data, 0, 0)) << n;
        EXPECT_EQ(image_checksum(data.data(), n, 1, 0xA5), reference_checksum(data, 1, 0xA5)) << n;
    }
}

TEST(EngineChecksum, XorFlagTakesTheKeyedBytes) {
    auto data = pattern(1000);
    const uint32_t keyed = image_checksum(data.data(), data.size(), 1, 0x3C);
    EXPECT_NE(keyed, image_checksum(data.data(), data.size(), 0, 0x3C));  // no flag, no key
    for (auto& b : data) b ^= 0x3C;
    EXPECT_EQ(keyed, image_checksum(data.data(), data.size(), 0, 0));
}

// The summary's crc32 is worked out from the load's checksum instead of a second pass: it must be
// zlib's crc32 of the stored bytes for any length, keyed or not, whatever the key.
TEST(EngineChecksum, PlainCrcFollowsFromTheChecksum) {
    for (std::size_t n : {std::size_t(0), std::size_t(1), std::size_t(3), std::size_t(4096),
                          std::size_t(65537), std::size_t(200001), (std::size_t(1) << 20) + 3}) {
        const auto data = pattern(n, uint32_t(n) + 5);
        const uint32_t want = uint32_t(::crc32(0L, data.data(), uInt(n)));
        for (uint8_t key : {0x00, 0x01, 0x5A, 0xFF}) {
            for (uint8_t flag : {0, 1}) {
                const uint32_t sum = image_checksum(data.data(), n, flag, key);
                EXPECT_EQ(plain_crc32(sum, n, flag, key), want)
                    << n << " bytes, flag " << int(flag) << " key " << int(key);
            }
        }
    }
}

using EngineLoad = EngineTest;

TEST_F(EngineLoad, LoadsDataAndTrailerOfEveryUsedSlot) {
    const auto d0 = pattern(5000, 1);
    const auto d2 = pattern(70000, 2);
    const ImageHeader h0 = write_image(dir / "a.img", {d0});
    const ImageHeader h2 = write_image(dir / "c.img", {d2, 1, 0x77});
    engine.m_url[0] = dir / "a.img";
    engine.m_url[2] = dir / "c.img";

    test::DebugLines debug_lines;
    ASSERT_TRUE(engine.load_images());
    const std::string out = debug_lines.take();

    EXPECT_EQ(engine.m_img_count, 2);
    EXPECT_EQ(engine.m_last_img, 2);
    EXPECT_EQ(engine.m_img_len[0], d0.size());
    EXPECT_EQ(engine.m_img_len[1], 0u);
    EXPECT_EQ(engine.m_img_len[2], d2.size());
    EXPECT_EQ(engine.m_img_len[3], 0u);
    EXPECT_EQ(0, std::memcmp(engine.m_img_data[0].get(), d0.data(), d0.size()));
    // Stored as in the file, not unscrambled.
    EXPECT_EQ(0, std::memcmp(engine.m_img_data[2].get(), d2.data(), d2.size()));
    EXPECT_EQ(0, std::memcmp(engine.m_img_head[0].bytes, h0.bytes, kImageHeaderSize));
    EXPECT_EQ(0, std::memcmp(engine.m_img_head[2].bytes, h2.bytes, kImageHeaderSize));
    EXPECT_EQ(engine.m_img_crc32[0], uint32_t(::crc32(0L, d0.data(), uInt(d0.size()))));
    EXPECT_EQ(engine.m_img_crc32[2], uint32_t(::crc32(0L, d2.data(), uInt(d2.size()))));

    const std::string path_len = std::to_string(engine.m_url[0].size());
    EXPECT_EQ(out, "strlen(m_url[0]) = " + path_len +
                       "\nstrlen(m_url[1]) = 0\n"
                       "strlen(m_url[2]) = " +
                       std::to_string(engine.m_url[2].size()) + "\nstrlen(m_url[3]) = 0\n");

    engine.release_images();
    for (int i = 0; i < kSlots; ++i) {
        EXPECT_EQ(engine.m_img_data[i], nullptr);
        EXPECT_EQ(engine.m_img_len[i], 0u);
        EXPECT_EQ(engine.m_img_crc32[i], 0u);
    }
}

TEST_F(EngineLoad, FlippingAnyDataByteFailsTheSlot) {
    const auto data = pattern(300, 7);
    for (std::size_t i = 0; i < data.size(); i += 13) {
        for (uint8_t flag : {0, 1}) {
            ImageSpec img{data, flag, 0x91};
            img.crc = image_checksum(data.data(), data.size(), flag, 0x91);
            img.data[i] ^= 0x01;
            write_image(dir / "x.img", img);
            engine.m_url[0] = dir / "x.img";
            test::DebugLines debug_lines;
            EXPECT_FALSE(engine.load_images()) << "byte " << i;
            const std::string out = debug_lines.take();
            EXPECT_NE(out.find("load image err i= 0\n"), std::string::npos);
            EXPECT_EQ(engine.m_img_len[0], 0u);
            EXPECT_EQ(engine.m_img_data[0], nullptr);
        }
    }
}

// A large image is read and checksummed in parts on several threads (8 MiB and more per part)
// and the parts' checksums are joined: the result must be the checksum of the whole, for a size
// that does not divide evenly, keyed and not, and a damaged byte in any part must still be seen.
TEST_F(EngineLoad, LargeImagesReadInPartsKeepTheirChecksum) {
    const std::size_t n = (std::size_t(17) << 20) + 5;
    const auto data = pattern(n, 11);
    for (uint8_t flag : {0, 1}) {
        ImageSpec img{data, flag, 0xC3};
        write_image(dir / "big.img", img);
        engine.m_url[0] = dir / "big.img";
        test::DebugLines debug_lines;
        ASSERT_TRUE(engine.load_images()) << "flag " << int(flag);
        debug_lines.take();
        ASSERT_EQ(engine.m_img_len[0], n);
        EXPECT_EQ(0, std::memcmp(engine.m_img_data[0].get(), data.data(), n));
        EXPECT_EQ(engine.m_img_crc32[0], uint32_t(::crc32(0L, data.data(), uInt(n))));

        // First byte, both sides of every possible part boundary, last byte.
        for (std::size_t at :
             {std::size_t(0), n / 2 - 1, n / 2, n / 3, 2 * (n / 3), n / 4 * 3, n - 1}) {
            img.crc = image_checksum(data.data(), n, flag, 0xC3);
            img.data[at] ^= 0x80;
            write_image(dir / "big.img", img);
            img.data[at] ^= 0x80;
            test::DebugLines debug_lines;
            EXPECT_FALSE(engine.load_images()) << "flag " << int(flag) << " byte " << at;
            debug_lines.take();
            EXPECT_EQ(engine.m_img_data[0], nullptr);
        }
    }
}

TEST_F(EngineLoad, DamagedOrLyingFilesFailAtLoadTime) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
    };
    const std::vector<Case> cases = {
        {"shorter than a trailer",
         [](const std::string& p) { std::ofstream(p, std::ios::binary) << std::string(203, 'x'); }},
        {"trailer only (no data)", [](const std::string& p) { write_image(p, {{}}); }},
        {"length beyond the data",
         [](const std::string& p) {
             ImageSpec s{pattern(1000)};
             s.length = 1001;
             write_image(p, s);
         }},
        {"length far beyond the data",
         [](const std::string& p) {
             ImageSpec s{pattern(1000)};
             s.length = 0xFFFFFFFF;
             write_image(p, s);
         }},
        {"missing file", [](const std::string&) {}},
        {"a folder", [](const std::string& p) { std::filesystem::create_directory(p); }},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = dir / ("case" + std::to_string(n++));
        c.make(path);
        engine.m_url[0] = dir / "good.img";
        write_image(engine.m_url[0], {pattern(100)});
        engine.m_url[1] = path;
        test::DebugLines debug_lines;
        EXPECT_FALSE(engine.load_images()) << c.what;
        const std::string out = debug_lines.take();
        EXPECT_NE(out.find("load image err i= 1\n"), std::string::npos) << c.what;
        EXPECT_EQ(engine.m_img_len[1], 0u) << c.what;
        EXPECT_EQ(engine.m_img_data[1], nullptr) << c.what;
        // The slot loaded before the failing one keeps its buffer until the next load.
        EXPECT_EQ(engine.m_img_len[0], 100u) << c.what;
    }
}

TEST_F(EngineLoad, AFailingSlotEndsTheLoadAtOnce) {
    write_image(dir / "bad.img", {pattern(10), 0, 0, -1, 1234});
    write_image(dir / "good.img", {pattern(10)});
    engine.m_url[0] = dir / "bad.img";
    engine.m_url[3] = dir / "good.img";
    test::DebugLines debug_lines;
    EXPECT_FALSE(engine.load_images());
    const std::string out = debug_lines.take();
    EXPECT_EQ(lines_of(out).back(), "load image err i= 0");
    EXPECT_EQ(out.find("strlen(m_url[1])"), std::string::npos);
    EXPECT_EQ(engine.m_img_len[3], 0u);
}

TEST_F(EngineLoad, NoPathAtAllFailsWithoutAnErrorLine) {
    test::DebugLines debug_lines;
    EXPECT_FALSE(engine.load_images());
    const std::string out = debug_lines.take();
    EXPECT_EQ(out.find("load image err"), std::string::npos);
    EXPECT_EQ(count_of(out, "strlen(m_url["), 4);
}

TEST_F(EngineLoad, ANewLoadReleasesThePreviousSet) {
    load({{pattern(100)}, {pattern(200)}});
    ASSERT_EQ(engine.m_img_count, 2);
    engine.m_url[1].clear();
    ASSERT_TRUE(engine.load_images());
    EXPECT_EQ(engine.m_img_count, 1);
    EXPECT_EQ(engine.m_img_len[1], 0u);
    EXPECT_EQ(engine.m_img_data[1], nullptr);
    EXPECT_EQ(engine.m_last_img, 0);
}

}  // namespace
}  // namespace quillon::test
