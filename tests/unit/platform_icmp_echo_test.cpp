// SPDX-License-Identifier: Apache-2.0
// One ICMP echo through the system's interface. Echo requests go to 127.0.0.1 only.
#include "platform/icmp_echo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>

namespace quillon {
namespace {

using namespace std::chrono_literals;

// 127.0.0.1 in network byte order, whatever the host's byte order.
uint32_t loopback() {
    const uint8_t bytes[4] = {127, 0, 0, 1};
    uint32_t a = 0;
    static_assert(sizeof a == sizeof bytes);
    std::memcpy(&a, bytes, sizeof a);
    return a;
}

constexpr char kPayload[32] = "Data buffer";

TEST(IcmpEcho, LoopbackAnswersTheProbe) {
    const EchoResult r = icmp_echo(loopback(), kPayload, sizeof kPayload, 1000ms);
    if (r.outcome == EchoResult::no_socket)
        GTEST_SKIP() << "no ICMP echo here: " << echo_error_text(r.error);
    EXPECT_EQ(r.outcome, EchoResult::reply) << r.error << " " << echo_error_text(r.error);
    // Each probe opens and closes its own handle: a second one works as the first did.
    EXPECT_EQ(icmp_echo(loopback(), kPayload, sizeof kPayload, 1000ms).outcome, EchoResult::reply);
}

TEST(IcmpEcho, APayloadBeyondTheLimitIsNotSent) {
    static const char big[513] = {};
    const EchoResult r = icmp_echo(loopback(), big, sizeof big, 1000ms);
    EXPECT_EQ(r.outcome, EchoResult::no_reply);
    EXPECT_NE(r.error, 0);
    EXPECT_FALSE(echo_error_text(r.error).empty());
}

}  // namespace
}  // namespace quillon
