// SPDX-License-Identifier: Apache-2.0
#include "platform/ipv4.h"

#include <bit>

namespace quillon {
namespace {

constexpr uint32_t swap32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

}  // namespace

uint32_t host_to_net32(uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) return swap32(v);
    return v;
}

uint32_t net_to_host32(uint32_t v) { return host_to_net32(v); }

uint16_t host_to_net16(uint16_t v) {
    if constexpr (std::endian::native == std::endian::little) return uint16_t((v >> 8) | (v << 8));
    return v;
}

std::optional<Ipv4> parse_ipv4(const char* text) {
    if (!text) return std::nullopt;
    uint32_t octets[4] = {};
    int count = 0;  // octets begun
    bool in_digits = false;
    for (const char* p = text; *p; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            if (!in_digits) {
                if (++count > 4) return std::nullopt;
                in_digits = true;
                octets[count - 1] = uint32_t(c - '0');
                continue;
            }
            uint32_t& o = octets[count - 1];
            if (o == 0) return std::nullopt;  // a leading zero
            o = o * 10 + uint32_t(c - '0');
            if (o > 255) return std::nullopt;
        } else if (c == '.' && in_digits) {
            if (count == 4) return std::nullopt;
            in_digits = false;
        } else {
            return std::nullopt;
        }
    }
    if (count < 4 || !in_digits) return std::nullopt;
    const uint32_t host = (octets[0] << 24) | (octets[1] << 16) | (octets[2] << 8) | octets[3];
    return Ipv4{host_to_net32(host)};
}

std::string ipv4_text(Ipv4 a) {
    const uint32_t h = net_to_host32(a.net);
    return std::to_string(h >> 24) + "." + std::to_string((h >> 16) & 255) + "." +
           std::to_string((h >> 8) & 255) + "." + std::to_string(h & 255);
}

}  // namespace quillon
