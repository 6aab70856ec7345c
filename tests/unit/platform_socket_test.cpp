// SPDX-License-Identifier: Apache-2.0
// Sockets, waits, the wake-up and the port claim, on the loopback only.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/port_claim.h"
#include "platform/socket.h"
#include "platform/wakeup.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const Ipv4 kLoopback = *parse_ipv4("127.0.0.1");

// A UDP socket bound to a free loopback port (tried from a start that differs per run).
Socket bound_udp(uint16_t& port) {
    static uint16_t next = uint16_t(30000 +
                                    (Clock::now().time_since_epoch().count() / 1000) % 20000);
    for (int tries = 0; tries < 200; ++tries) {
        Socket s = open_udp_socket();
        if (!s.valid()) return s;
        port = next++;
        if (bind_ipv4(s.get(), kLoopback, port) == 0) return s;
    }
    return {};
}

TEST(PlatformSocket, DatagramsArriveWholeAndLongOnesAreKnownByTheirLength) {
    SocketLibrary library;
    ASSERT_TRUE(library.ok());
    uint16_t port = 0;
    Socket rx = bound_udp(port);
    ASSERT_TRUE(rx.valid());
    Socket tx = open_udp_socket();
    ASSERT_TRUE(tx.valid());

    char buf[64] = {};
    Datagram d;
    EXPECT_EQ(receive_datagram(rx.get(), buf, sizeof buf, d), 0) << "nothing queued: no wait";

    const auto before = Clock::now();
    ASSERT_TRUE(send_datagram(tx.get(), "hello", 5, kLoopback, port));
    SocketWait w{rx.get()};
    ASSERT_EQ(wait_sockets(&w, 1, 2000ms), 1);
    EXPECT_TRUE(w.readable);
    ASSERT_EQ(receive_datagram(rx.get(), buf, sizeof buf, d), 1);
    EXPECT_EQ(d.length, 5u);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_GE(d.arrived + 1ms, before);
    EXPECT_LE(d.arrived, Clock::now());

    // Longer than the buffer: told by its length, and the next one is not disturbed.
    const std::string big(200, 'x');
    ASSERT_TRUE(send_datagram(tx.get(), big.data(), big.size(), kLoopback, port));
    ASSERT_TRUE(send_datagram(tx.get(), "ok", 2, kLoopback, port));
    ASSERT_EQ(wait_sockets(&w, 1, 2000ms), 1);
    ASSERT_EQ(receive_datagram(rx.get(), buf, sizeof buf, d), 1);
    EXPECT_GT(d.length, sizeof buf);
    ASSERT_EQ(wait_sockets(&w, 1, 2000ms), 1);
    ASSERT_EQ(receive_datagram(rx.get(), buf, sizeof buf, d), 1);
    EXPECT_EQ(std::string(buf, d.length), "ok");
}

TEST(PlatformSocket, WaitsEndWithTheirLimitAndIgnoreMissingSockets) {
    uint16_t port = 0;
    Socket rx = bound_udp(port);
    ASSERT_TRUE(rx.valid());
    SocketWait items[2] = {{kNoSocket}, {rx.get()}};
    const auto start = Clock::now();
    EXPECT_EQ(wait_sockets(items, 2, 50ms), 0);
    EXPECT_GE(Clock::now() - start, 40ms);
    EXPECT_FALSE(items[0].readable);
    EXPECT_FALSE(items[1].readable);
    SocketWait none{kNoSocket};
    EXPECT_EQ(wait_sockets(&none, 1, 10ms), 0) << "a wait on nothing is only a pause";
}

TEST(PlatformSocket, AConnectToAClosedPortFailsAtOnce) {
    // A TCP socket bound but not listening: the loopback refuses connections to its port.
    Socket holder = open_tcp_socket();
    ASSERT_TRUE(holder.valid());
    uint16_t port = 0;
    for (uint16_t p = 41000; p < 41200 && port == 0; ++p)
        if (bind_ipv4(holder.get(), kLoopback, p) == 0) port = p;
    ASSERT_NE(port, 0);
    Socket s = open_tcp_socket();
    ASSERT_TRUE(s.valid());
    const auto start = Clock::now();
    EXPECT_FALSE(connect_within(s.get(), kLoopback, port, 5000ms));
    EXPECT_LT(Clock::now() - start, 4000ms) << "a refusal is not waited out";
}

TEST(PlatformSocket, ClassicAddressTexts) {
    EXPECT_EQ(inet_addr_of("127.0.0.1"), kLoopback.net);
    EXPECT_EQ(inet_addr_of("127.1"), kLoopback.net);
    EXPECT_EQ(inet_addr_of(nullptr), kIpv4Broadcast.net);
    EXPECT_EQ(inet_addr_of("not an address"), kIpv4Broadcast.net);
    EXPECT_FALSE(socket_error_text(address_in_use_error()).empty());
}

TEST(PlatformWakeup, MakesItsHandleReadableUntilCleared) {
    Wakeup wake;
    ASSERT_TRUE(wake.valid());
    SocketWait w{wake.handle()};
    EXPECT_EQ(wait_sockets(&w, 1, 20ms), 0);
    std::thread other([&] {
        std::this_thread::sleep_for(30ms);
        wake.signal();
    });
    const auto start = Clock::now();
    EXPECT_EQ(wait_sockets(&w, 1, 5000ms), 1);
    EXPECT_LT(Clock::now() - start, 4000ms);
    other.join();
    wake.signal();  // twice: one clear takes both
    wake.clear();
    EXPECT_EQ(wait_sockets(&w, 1, 20ms), 0);
}

TEST(PlatformPortClaim, OneHolderPerAddressAndPort) {
    const Ipv4 a = *parse_ipv4("127.0.0.1");
    const uint16_t port = uint16_t(20000 +
                                   (Clock::now().time_since_epoch().count() / 1000) % 20000);
    PortClaim first, second, other_port;
    bool busy = true;
    first.claim(a, port, busy);
    ASSERT_TRUE(first.held());
    EXPECT_FALSE(busy);
    second.claim(a, port, busy);
    EXPECT_FALSE(second.held());
    EXPECT_TRUE(busy);
    other_port.claim(a, uint16_t(port + 1), busy);
    EXPECT_TRUE(other_port.held()) << "another port is another claim";
    first.release();
    second.claim(a, port, busy);
    EXPECT_TRUE(second.held()) << "released with its holder";
    EXPECT_FALSE(busy);
}

}  // namespace
}  // namespace quillon
