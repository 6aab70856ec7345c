// SPDX-License-Identifier: Apache-2.0
#pragma once
// IPv4 addresses as the program passes them around: 32 bits in network byte order (the order of
// the dotted text and of the wire), and the conversions to and from the dotted text. The same
// rules on every system, so that a text accepted here is accepted everywhere.
#include <cstdint>
#include <optional>
#include <string>

namespace quillon {

struct Ipv4 {
    uint32_t net = 0;  // network byte order
    friend bool operator==(Ipv4, Ipv4) = default;
};

inline constexpr Ipv4 kIpv4Any{0};                  // 0.0.0.0
inline constexpr Ipv4 kIpv4Broadcast{0xFFFFFFFFu};  // 255.255.255.255

uint32_t host_to_net32(uint32_t v);
uint32_t net_to_host32(uint32_t v);
uint16_t host_to_net16(uint16_t v);

// A strict dotted quad ("192.168.1.10": four decimal numbers 0 to 255, no leading zeros, nothing
// else), as inet_pton reads it; nothing for any other text, and for null.
std::optional<Ipv4> parse_ipv4(const char* text);
inline std::optional<Ipv4> parse_ipv4(const std::string& text) { return parse_ipv4(text.c_str()); }

// The dotted text ("192.168.1.10").
std::string ipv4_text(Ipv4 a);

}  // namespace quillon
