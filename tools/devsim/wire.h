// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a device sees on its upgrade connection: the 204-byte image header, the image data, and
// the 136-byte command records. Only the header fields a device acts on are decoded.
#include <array>
#include <cstddef>
#include <cstdint>

namespace quillon::devsim {

constexpr std::size_t kHeaderSize = 204;
constexpr std::size_t kRecordSize = 136;

constexpr uint32_t kCmdSend = 1;    // S: percent received
constexpr uint32_t kCmdBurn = 2;    // B: percent written to flash
constexpr uint32_t kCmdFinish = 3;  // F: 1 success, 0 failure
constexpr uint32_t kCmdReboot = 4;  // from the tool: reboot now
constexpr uint32_t kCmdJunk = 9;    // a code no tool knows, sent by the "junk" fault

using Record = std::array<uint8_t, kRecordSize>;

inline uint32_t get_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct HeaderFields {
    uint32_t length = 0;  // image bytes that follow the header
    uint32_t crc = 0;     // checksum of the image data
    uint8_t xor_key = 0;
    uint8_t xor_flag = 0;
};

HeaderFields parse_header(const uint8_t* header);

Record make_record(uint32_t cmd, uint32_t value);

// The image checksum: CRC-32 (reflected 0xEDB88320) without the usual initial and final
// inversion, over the data bytes each XORed with the key when the flag is set.
class ImageChecksum {
public:
    ImageChecksum(uint8_t xor_key, bool xor_flag) : key_(xor_key), flag_(xor_flag) {}
    void update(const uint8_t* data, std::size_t len);
    uint32_t value() const { return ~state_; }

private:
    uint8_t key_;
    bool flag_;
    unsigned long state_ = 0xFFFFFFFFul;  // zlib's running value: zlib inverts on entry and exit
};

}  // namespace quillon::devsim
