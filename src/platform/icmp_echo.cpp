// SPDX-License-Identifier: Apache-2.0
#include "platform/icmp_echo.h"

namespace quillon {
namespace {

constexpr std::size_t kIcmpHeader = 8;
// The ICMP message types and the IP protocol number the classification needs (RFC 792).
constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kDestUnreachable = 3;
constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kTimeExceeded = 11;
constexpr uint8_t kProtocolIcmp = 1;

uint16_t get16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// The ICMP part of a packet, skipping the IP header where the socket delivers one.
bool icmp_part(const uint8_t* buf, std::size_t len, bool with_ip_header, const uint8_t** icmp,
               std::size_t* icmp_len) {
    std::size_t off = 0;
    if (with_ip_header) {
        if (len < 20 || (buf[0] >> 4) != 4) return false;
        off = std::size_t(buf[0] & 0x0F) * 4;
        if (off < 20) return false;
    }
    if (len < off + kIcmpHeader) return false;
    *icmp = buf + off;
    *icmp_len = len - off;
    return true;
}

}  // namespace

uint16_t internet_checksum(const uint8_t* data, std::size_t len) {
    uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < len; i += 2) sum += get16(data + i);
    if (len & 1) sum += uint32_t(data[len - 1]) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

EchoPacket classify_echo_packet(const uint8_t* buf, std::size_t len, bool with_ip_header, int id,
                                uint16_t seq, int* status) {
    const uint8_t* icmp = nullptr;
    std::size_t n = 0;
    if (!icmp_part(buf, len, with_ip_header, &icmp, &n)) return EchoPacket::other;
    const uint8_t type = icmp[0];
    const uint8_t code = icmp[1];
    // A reply, and the request an error quotes, carry the id and sequence of our request.
    auto ours = [&](const uint8_t* echo) {
        return (id < 0 || get16(echo + 4) == id) && get16(echo + 6) == seq;
    };
    if (type == kEchoReply) return ours(icmp) ? EchoPacket::reply : EchoPacket::other;
    if (type == kDestUnreachable || type == kTimeExceeded) {
        // An error quotes the IP header and the first 8 bytes of the datagram it is about.
        const uint8_t* inner = icmp + kIcmpHeader;
        const std::size_t inner_len = n - kIcmpHeader;
        if (inner_len < 20 || (inner[0] >> 4) != 4) return EchoPacket::other;
        const std::size_t ihl = std::size_t(inner[0] & 0x0F) * 4;
        if (ihl < 20 || inner_len < ihl + kIcmpHeader || inner[9] != kProtocolIcmp)
            return EchoPacket::other;
        if (inner[ihl] != kEchoRequest || !ours(inner + ihl)) return EchoPacket::other;
        if (status) *status = type << 8 | code;
        return EchoPacket::error_reply;
    }
    return EchoPacket::other;
}

}  // namespace quillon
