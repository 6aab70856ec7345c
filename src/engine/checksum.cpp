// The image checksum through zlib's CRC-32. zlib inverts the register on entry and on exit; the
// devices' checksum does neither, so we enter with ~0 (the register starts at 0) and invert the
// result. Between chunks zlib's own (inverted) value is carried on.
#include <zlib.h>

#include <algorithm>

#include "engine/wire_format.h"

namespace quillon {

uint32_t image_checksum(const uint8_t* data, std::size_t len, uint8_t xor_flag, uint8_t xor_key) {
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

}  // namespace quillon
