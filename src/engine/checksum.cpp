// The image checksum through zlib's CRC-32. zlib inverts the register on entry and on exit; the
// devices' checksum does neither, so we enter with ~0 (the register starts at 0) and invert the
// result. Between chunks zlib's own (inverted) value is carried on.
#include <zlib.h>

#include <algorithm>

#include "engine/wire_format.h"

namespace quillon {

uint32_t image_checksum(const uint8_t* data, std::size_t len, uint8_t xor_flag, uint8_t xor_key) {
    // zlib answers a null buffer with 0, not with the value passed in: no bytes, no checksum.
    if (len == 0) return 0;
    unsigned long z = 0xFFFFFFFFul;
    if (!xor_flag) {
        z = crc32_z(z, data, len);
        return ~uint32_t(z);
    }
    // The key is applied to a fixed buffer a chunk at a time; the loop below vectorises.
    constexpr std::size_t kChunk = 64 * 1024;
    uint8_t buf[kChunk];
    for (std::size_t off = 0; off < len;) {
        const std::size_t n = std::min(kChunk, len - off);
        const uint8_t* src = data + off;
        for (std::size_t i = 0; i < n; ++i) buf[i] = src[i] ^ xor_key;
        z = crc32_z(z, buf, n);
        off += n;
    }
    return ~uint32_t(z);
}

namespace {

// The register without inversions is linear in the bytes: the checksum of A then B is A's checksum
// carried through |B| zero bytes, XOR B's checksum, which is what zlib's crc32_combine computes.
uint32_t join(uint32_t first, uint32_t second, std::size_t second_len) {
    return uint32_t(crc32_combine(first, second, z_off_t(second_len)));
}

// The image checksum of `len` bytes that all equal `key`, by doubling.
uint32_t key_run(uint8_t key, std::size_t len) {
    uint32_t run = 0;
    uint32_t piece = image_checksum(&key, 1, 0, 0);
    std::size_t piece_len = 1;
    for (; len > 0; len >>= 1) {
        if (len & 1) run = join(run, piece, piece_len);
        piece = join(piece, piece, piece_len);
        piece_len *= 2;
    }
    return run;
}

}  // namespace

uint32_t plain_crc32(uint32_t checksum, std::size_t len, uint8_t xor_flag, uint8_t xor_key) {
    // Keyed bytes are the stored ones XOR the key repeated: take the key's share out.
    const uint32_t stored = xor_flag ? checksum ^ key_run(xor_key, len) : checksum;
    // The usual CRC starts from all ones and inverts at the end; the all-ones start, carried
    // through the len bytes, is the only other difference.
    return stored ^ ~join(0xFFFFFFFFu, 0, len);
}

}  // namespace quillon
