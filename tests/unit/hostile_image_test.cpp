// SPDX-License-Identifier: Apache-2.0
// Image files whose trailer or size claims about 4 GiB: the slot fails at load time, before a
// buffer of that size is asked for and before any device is contacted.
#include <cstring>
#include <fstream>

#include "support/debug_lines.h"
#include "engine_test_support.h"

namespace quillon::test {
namespace {

using HostileImage = EngineTest;

// Loads slot 0 and returns the standard output of the load.
std::string load_slot0(EngineInternals& engine, bool& ok) {
    test::DebugLines debug_lines;
    ok = engine.load_images();
    return debug_lines.take();
}

void expect_slot0_failed(EngineInternals& engine, RecordingSearch& search) {
    EXPECT_EQ(engine.m_img_len[0], 0u);
    EXPECT_EQ(engine.m_img_data[0], nullptr);
    EXPECT_EQ(engine.m_img_count, 0);
    // Nothing is tried with a slot that did not load: no conflict query, no connection.
    test::DebugLines debug_lines;
    EXPECT_EQ(engine.process_one("127.0.0.1", 0, 0, 0, 0), -1);
    debug_lines.take();
    EXPECT_TRUE(search.calls.empty());
}

TEST_F(HostileImage, TrailerClaimingFourGiBFailsTheSlot) {
    // 1000 real bytes with a correct checksum; only the length lies.
    ImageSpec img{pattern(1000)};
    img.length = 0xFFFFFFFF;
    engine.m_url[0] = dir / "liar.img";
    write_image(engine.m_url[0], img);
    bool ok = true;
    const std::string out = load_slot0(engine, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(lines_of(out).back(), "load image err i= 0");
    expect_slot0_failed(engine, search);
}

// A file of 4 GiB and a little more: its data length does not fit the 32-bit length of a slot.
// Taken modulo 2^32 it would be 5, and the 204 bytes after the first 5 form a valid trailer
// for them, so a size that wrapped round would load 5 bytes of a 4 GiB file as the image.
TEST_F(HostileImage, FileOfMoreThanFourGiBFailsTheSlot) {
    const std::vector<uint8_t> data = {'q', 'u', 'i', 'l', 'l'};
    ImageHeader trailer;
    trailer.set_length(5);
    trailer.set_crc(image_checksum(data.data(), data.size(), 0, 0));
    const std::string path = dir / "huge.img";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        out.write(reinterpret_cast<const char*>(trailer.bytes), std::streamsize(kImageHeaderSize));
        ASSERT_TRUE(out.good());
    }
    // Sparse where the file system can: no disk space is used for the rest.
    std::error_code ec;
    std::filesystem::resize_file(path, uint64_t(1) << 32 | uint64_t(kImageHeaderSize + data.size()),
                                 ec);
    if (ec) GTEST_SKIP() << "no file of 4 GiB here: " << ec.message();
    engine.m_url[0] = path;
    bool ok = true;
    const std::string out = load_slot0(engine, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(lines_of(out).back(), "load image err i= 0");
    expect_slot0_failed(engine, search);
}

}  // namespace
}  // namespace quillon::test
