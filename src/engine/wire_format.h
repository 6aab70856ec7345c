// SPDX-License-Identifier: Apache-2.0
#pragma once
// The upgrade service's wire format on TCP port 9800: the 204-byte image trailer that is sent as
// the header, and the fixed 136-byte command record used in both directions. All multi-byte fields
// are little-endian. Shared by the engine and the device simulator.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillon {

inline constexpr std::size_t kImageHeaderSize = 204;
inline constexpr std::size_t kCmdRecordSize = 136;

// Command codes of a CmdRecord.
enum CmdCode : uint32_t {
    kCmdSending = 1,  // device to tool: receiving, value = percent of this image received
    kCmdBurning = 2,  // device to tool: writing to flash, value = percent burnt
    kCmdFinish = 3,   // device to tool: image finished, value nonzero = success
    kCmdReboot = 4,   // tool to device: reboot now
};

inline uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void store_le32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// The trailer of an image file. Only four fields mean anything to the tool; the rest is the
// device's business and is passed on unchanged.
struct ImageHeader {
    static constexpr std::size_t kLengthOffset = 4;
    static constexpr std::size_t kCrcOffset = 8;
    static constexpr std::size_t kXorKeyOffset = 84;
    static constexpr std::size_t kXorFlagOffset = 85;

    uint8_t bytes[kImageHeaderSize] = {};

    uint32_t length() const { return load_le32(bytes + kLengthOffset); }
    uint32_t crc() const { return load_le32(bytes + kCrcOffset); }
    uint8_t xor_key() const { return bytes[kXorKeyOffset]; }
    uint8_t xor_flag() const { return bytes[kXorFlagOffset]; }

    void set_length(uint32_t v) { store_le32(bytes + kLengthOffset, v); }
    void set_crc(uint32_t v) { store_le32(bytes + kCrcOffset, v); }
    void set_xor(uint8_t flag, uint8_t key) {
        bytes[kXorFlagOffset] = flag;
        bytes[kXorKeyOffset] = key;
    }
};
static_assert(sizeof(ImageHeader) == kImageHeaderSize);

// One command record. `rest` is ignored when received and all zero when sent.
struct CmdRecord {
    uint32_t cmd = 0;
    uint32_t value = 0;

    static CmdRecord decode(const uint8_t* p) { return {load_le32(p), load_le32(p + 4)}; }
    void encode(uint8_t* out) const {
        std::memset(out, 0, kCmdRecordSize);
        store_le32(out, cmd);
        store_le32(out + 4, value);
    }
};

// The image checksum: CRC-32 of the reflected polynomial 0xEDB88320 without the usual initial
// and final inversion, taken over the data with every byte XORed with `xor_key` when `xor_flag`
// is nonzero. "abc" with the flag clear gives 0xCA6598D0.
uint32_t image_checksum(const uint8_t* data, std::size_t len, uint8_t xor_flag, uint8_t xor_key);

// zlib's crc32 (the usual CRC-32) of the stored bytes, worked out from their image checksum
// without reading them again: `checksum` is image_checksum() of the same `len` bytes with the
// same flag and key.
uint32_t plain_crc32(uint32_t checksum, std::size_t len, uint8_t xor_flag, uint8_t xor_key);

}  // namespace quillon
