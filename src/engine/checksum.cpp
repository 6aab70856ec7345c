// SPDX-License-Identifier: Apache-2.0
// The image checksum. The CRC itself is ISA-L's reflected CRC-32 (the same function as zlib's
// crc32, carry-less multiplication where the processor has it): on a 2-core machine the load of a
// 1 GiB set spent as much time in zlib's table-driven CRC as in copying the data, and ISA-L's is
// three to five times faster. Where ISA-L is not built (Windows) zlib's crc32_z computes the same.
// Both invert the register on entry and on exit; the devices' checksum does neither, so we enter
// with ~0 (the register starts at 0) and invert the result.
#if QUILLON_HAVE_ISAL
#include <isa-l/crc.h>
#endif
#include <zlib.h>

#include "engine/wire_format.h"

namespace quillon {
namespace {

// The register without inversions is linear in the bytes: the checksum of A then B is A's checksum
// carried through |B| zero bytes, XOR B's checksum, which is what zlib's crc32_combine computes.
uint32_t join(uint32_t first, uint32_t second, std::size_t second_len) {
    return uint32_t(crc32_combine(first, second, z_off_t(second_len)));
}

uint32_t unkeyed_checksum(const uint8_t* data, std::size_t len) {
#if QUILLON_HAVE_ISAL
    return ~crc32_gzip_refl(0xFFFFFFFFu, data, len);
#else
    return ~uint32_t(crc32_z(0xFFFFFFFFul, data, len));
#endif
}

// The image checksum of `len` bytes that all equal `key`, by doubling.
uint32_t key_run(uint8_t key, std::size_t len) {
    uint32_t run = 0;
    uint32_t piece = unkeyed_checksum(&key, 1);
    std::size_t piece_len = 1;
    for (; len > 0; len >>= 1) {
        if (len & 1) run = join(run, piece, piece_len);
        piece = join(piece, piece, piece_len);
        piece_len *= 2;
    }
    return run;
}

}  // namespace

uint32_t image_checksum(const uint8_t* data, std::size_t len, uint8_t xor_flag, uint8_t xor_key) {
    // No bytes, no checksum (and no pointer to be read).
    if (len == 0) return 0;
    const uint32_t stored = unkeyed_checksum(data, len);
    // The checksum is linear: that of the keyed bytes is that of the stored ones XOR that of the
    // key repeated, so the key costs a few joins instead of a pass over the data.
    return xor_flag ? stored ^ key_run(xor_key, len) : stored;
}

uint32_t plain_crc32(uint32_t checksum, std::size_t len, uint8_t xor_flag, uint8_t xor_key) {
    // Keyed bytes are the stored ones XOR the key repeated: take the key's share out.
    const uint32_t stored = xor_flag ? checksum ^ key_run(xor_key, len) : checksum;
    // The usual CRC starts from all ones and inverts at the end; the all-ones start, carried
    // through the len bytes, is the only other difference.
    return stored ^ ~join(0xFFFFFFFFu, 0, len);
}

}  // namespace quillon
