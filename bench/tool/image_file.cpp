// SPDX-License-Identifier: Apache-2.0
#include "image_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "engine/wire_format.h"

namespace quillon::bench {

bool write_image_file(const std::string& path, uint64_t data_bytes, uint32_t seed) {
    if (data_bytes == 0 || data_bytes > UINT32_MAX) return false;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(path.c_str(), "wb"),
                                                        &std::fclose);
    if (!out) return false;
    std::vector<uint8_t> chunk(1 << 20);
    uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
    // The devices' checksum is zlib's CRC-32 entered with ~0 and inverted at the end
    // (engine/checksum.cpp); carried across chunks in zlib's own form.
    unsigned long z = 0xFFFFFFFFul;
    for (uint64_t done = 0; done < data_bytes;) {
        const std::size_t n = std::size_t(std::min<uint64_t>(chunk.size(), data_bytes - done));
        // Eight bytes per xorshift step: fast enough for images of a gigabyte.
        for (std::size_t i = 0; i < n; i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            for (std::size_t k = 0; k < 8 && i + k < n; ++k) chunk[i + k] = uint8_t(x >> (8 * k));
        }
        z = crc32_z(z, chunk.data(), n);
        if (std::fwrite(chunk.data(), 1, n, out.get()) != n) return false;
        done += n;
    }
    ImageHeader h;
    for (std::size_t i = 0; i < kImageHeaderSize; ++i) h.bytes[i] = uint8_t(0xA0 + i % 16);
    h.set_length(uint32_t(data_bytes));
    h.set_crc(~uint32_t(z));
    h.set_xor(0, 0);
    if (std::fwrite(h.bytes, 1, kImageHeaderSize, out.get()) != kImageHeaderSize) return false;
    return std::fflush(out.get()) == 0;
}

}  // namespace quillon::bench
