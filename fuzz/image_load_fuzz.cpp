// SPDX-License-Identifier: Apache-2.0
// libFuzzer target: any bytes as an image file (data followed by a 204-byte trailer), loaded by
// load_images as a batch does.
//
// Input: one byte of settings, then the file.
//   settings bits 0-1: the slot the file goes into;
//   bit 2: write the right checksum into the trailer first (so that the fuzzer gets past the
//          checksum and explores the length and the XOR fields);
//   bit 3: a valid image in another slot before it (its buffer must survive a failing slot).
//
// The outcome is compared with a plain reading of the file: the slot loads exactly when the file
// holds at least one data byte before the trailer, the trailer's length does not exceed
// the data, and the checksum (computed here bit by bit) matches; a loaded slot holds the file's
// data and trailer unchanged; a failing slot holds nothing.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine_internals.h"
#include "engine/wire_format.h"
#include "fuzz_support.h"

namespace {

using quillon::fuzz::check;
using quillon::kImageHeaderSize;

// The devices' checksum, one bit at a time: independent of the engine's table-driven zlib path.
uint32_t bitwise_checksum(const uint8_t* p, std::size_t n, uint8_t flag, uint8_t key) {
    uint32_t c = 0;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= uint8_t(flag ? p[i] ^ key : p[i]);
        for (int b = 0; b < 8; ++b) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    quillon::fuzz::write_new_file(path, bytes.data(), bytes.size());
}

quillon::fuzz::ScratchDir& scratch() {
    static quillon::fuzz::ScratchDir dir("quillon-image-fuzz");
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quillon::fuzz::silence_debug_lines();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t settings = data[0];
    const int slot = settings & 3;
    std::vector<uint8_t> file(data + 1, data + size);
    const std::size_t n = file.size() >= kImageHeaderSize ? file.size() - kImageHeaderSize : 0;
    quillon::ImageHeader head;
    if (file.size() >= kImageHeaderSize) std::memcpy(head.bytes, file.data() + n, kImageHeaderSize);
    const uint32_t right_crc = bitwise_checksum(file.data(), n, head.xor_flag(), head.xor_key());
    if ((settings & 4) && file.size() >= kImageHeaderSize) {
        head.set_crc(right_crc);
        std::memcpy(file.data() + n, head.bytes, kImageHeaderSize);
    }

    quillon::EngineInternals engine;
    const std::string path = scratch() / "image.img";
    write_file(path, file);
    engine.m_url[slot] = path;

    // A small valid image in a slot before the fuzzed one.
    const int good_slot = slot == 0 ? -1 : slot - 1;
    std::vector<uint8_t> good_data = {'a', 'b', 'c'};
    if ((settings & 8) && good_slot >= 0) {
        quillon::ImageHeader g;
        g.set_length(3);
        g.set_crc(bitwise_checksum(good_data.data(), 3, 0, 0));
        std::vector<uint8_t> good = good_data;
        good.insert(good.end(), g.bytes, g.bytes + kImageHeaderSize);
        write_file(scratch() / "good.img", good);
        engine.m_url[good_slot] = scratch() / "good.img";
    }
    const bool with_good = good_slot >= 0 && !engine.m_url[good_slot].empty();

    const bool loads = file.size() > kImageHeaderSize && head.length() <= n &&
                       head.crc() == right_crc;
    const bool ok = engine.load_images();
    check(ok == loads, "load result differs from the file's contents");
    check(engine.m_last_img == slot, "last slot is not the fuzzed one");
    if (loads) {
        check(engine.m_img_len[slot] == n, "loaded length differs from the data");
        check(std::memcmp(engine.m_img_data[slot].get(), file.data(), n) == 0,
              "loaded data differ");
        check(std::memcmp(engine.m_img_head[slot].bytes, head.bytes, kImageHeaderSize) == 0,
              "loaded trailer differs");
        check(engine.m_img_count == (with_good ? 2 : 1), "image count wrong");
    } else {
        check(engine.m_img_len[slot] == 0 && !engine.m_img_data[slot], "failed slot keeps data");
    }
    if (with_good) {
        check(engine.m_img_len[good_slot] == 3 &&
                  std::memcmp(engine.m_img_data[good_slot].get(), good_data.data(), 3) == 0,
              "the slot before lost its image");
    }
    for (int i = slot + 1; i < quillon::kSlots; ++i)
        check(engine.m_img_len[i] == 0 && !engine.m_img_data[i], "a later, unused slot holds data");
    engine.release_images();
    for (int i = 0; i < quillon::kSlots; ++i)
        check(engine.m_img_len[i] == 0 && !engine.m_img_data[i], "release left a buffer");
    return 0;
}
