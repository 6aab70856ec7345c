// SPDX-License-Identifier: Apache-2.0
#include "wire.h"

#include <zlib.h>

#include <algorithm>

namespace quillon::devsim {

HeaderFields parse_header(const uint8_t* header) {
    HeaderFields f;
    f.length = get_le32(header + 4);
    f.crc = get_le32(header + 8);
    f.xor_key = header[84];
    f.xor_flag = header[85];
    return f;
}

Record make_record(uint32_t cmd, uint32_t value) {
    Record r{};
    for (int i = 0; i < 4; ++i) {
        r[i] = static_cast<uint8_t>(cmd >> (8 * i));
        r[4 + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    return r;
}

void ImageChecksum::update(const uint8_t* data, std::size_t len) {
    if (!flag_) {
        while (len > 0) {
            const auto n = static_cast<uInt>(std::min<std::size_t>(len, 1u << 30));
            state_ = crc32(state_, data, n);
            data += n;
            len -= n;
        }
        return;
    }
    uint8_t buf[16384];
    while (len > 0) {
        const std::size_t n = std::min(len, sizeof buf);
        for (std::size_t i = 0; i < n; ++i) buf[i] = data[i] ^ key_;
        state_ = crc32(state_, buf, static_cast<uInt>(n));
        data += n;
        len -= n;
    }
}

}  // namespace quillon::devsim
