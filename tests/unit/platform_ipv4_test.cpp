// SPDX-License-Identifier: Apache-2.0
// IPv4 texts and byte order, the same rules on every system.
#include "platform/ipv4.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(PlatformIpv4, DottedQuadsAreReadStrictly) {
    const auto a = parse_ipv4("192.168.1.10");
    ASSERT_TRUE(a);
    EXPECT_EQ(net_to_host32(a->net), 0xC0A8010Au);
    EXPECT_EQ(ipv4_text(*a), "192.168.1.10");
    EXPECT_EQ(parse_ipv4("0.0.0.0"), kIpv4Any);
    EXPECT_EQ(parse_ipv4("255.255.255.255"), kIpv4Broadcast);
    EXPECT_EQ(ipv4_text(*parse_ipv4("10.0.0.255")), "10.0.0.255");
    for (const char* bad : {"", "1.2.3", "1.2.3.4.", ".1.2.3.4", "1.2.3.4.5", "1..2.3", "256.1.1.1",
                            "1.2.3.999", "01.2.3.4", "1.2.3.04", "1.2.3.4 ", " 1.2.3.4", "1.2.3.-4",
                            "0x1.2.3.4", "127.1", "1.2.3.4/24", "a.b.c.d", "1.2.3.4\n"}) {
        EXPECT_FALSE(parse_ipv4(bad)) << '"' << bad << '"';
    }
    EXPECT_FALSE(parse_ipv4(static_cast<const char*>(nullptr)));
    EXPECT_TRUE(parse_ipv4("0.10.100.0")) << "a zero alone is no leading zero";
}

TEST(PlatformIpv4, ByteOrderSwapsOnlyBetweenHostAndNetwork) {
    const auto a = parse_ipv4("1.2.3.4");
    ASSERT_TRUE(a);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&a->net);
    EXPECT_EQ(bytes[0], 1);  // network order: the first number first in memory
    EXPECT_EQ(bytes[3], 4);
    EXPECT_EQ(net_to_host32(host_to_net32(0x01020304u)), 0x01020304u);
    const uint16_t port = host_to_net16(0x1F90);  // 8080
    const auto* p = reinterpret_cast<const unsigned char*>(&port);
    EXPECT_EQ(p[0], 0x1F);
    EXPECT_EQ(p[1], 0x90);
}

}  // namespace
}  // namespace quillon
