// SPDX-License-Identifier: Apache-2.0
// The program's own reading of dotted texts accepts exactly what the C library's inet_pton does,
// so that moving off it changed nothing on Linux.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ipv4.h"

namespace quillon {
namespace {

TEST(PlatformIpv4Posix, AgreesWithInetPton) {
    std::vector<std::string> texts;
    const char* parts[] = {"0",   "1",   "9",   "00",  "01",   "10", "99",
                           "100", "255", "256", "300", "0255", ""};
    for (const char* a : parts)
        for (const char* b : parts) {
            texts.push_back(std::string(a) + "." + b + ".3.4");
            texts.push_back(std::string("1.2.") + a + "." + b);
            texts.push_back(std::string(a) + "." + b);
        }
    for (const char* t : {"1.2.3.4.5", "1.2.3.4.", "x1.2.3.4", "1.2.3.4x", "1.2.3.4 ", "", "....",
                          "1.2.3.4\t", "4294967295", "1e2.1.1.1"})
        texts.push_back(t);
    for (const std::string& t : texts) {
        in_addr expected{};
        const bool ok = ::inet_pton(AF_INET, t.c_str(), &expected) == 1;
        const auto got = parse_ipv4(t);
        ASSERT_EQ(got.has_value(), ok) << '"' << t << '"';
        if (ok) {
            EXPECT_EQ(got->net, expected.s_addr) << t;
        }
    }
}

}  // namespace
}  // namespace quillon
