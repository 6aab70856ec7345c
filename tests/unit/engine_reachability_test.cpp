// SPDX-License-Identifier: Apache-2.0
// The reachability probe. Echo requests go to 127.0.0.1 only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "support/debug_lines.h"
#include "engine_test_support.h"
#include "platform/icmp_echo.h"
#include "platform/unique_fd.h"

namespace quillon::test {
namespace {

bool can_open(int type) {
    UniqueFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP));
    return fd.valid();
}

// Drops CAP_NET_RAW from the calling thread's effective set (capabilities are per thread).
bool drop_net_raw_here() {
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &head, data) != 0) return false;
    data[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
    return ::syscall(SYS_capset, &head, data) == 0;
}

using EngineReachability = EngineTest;

TEST_F(EngineReachability, LoopbackAnswersOrTheMissingCapabilityIsNamed) {
    test::DebugLines debug_lines;
    testing::internal::CaptureStderr();
    const int r = engine.ping_device("127.0.0.1");
    const std::string out = debug_lines.take();
    const std::string err = testing::internal::GetCapturedStderr();
    if (can_open(SOCK_DGRAM) || can_open(SOCK_RAW)) {
        EXPECT_EQ(r, 1) << err;
        EXPECT_EQ(out, "Ping to 127.0.0.1 succeeded!\nDevice is reachable.\n");
        EXPECT_EQ(engine.m_echo_unavailable, 0);
    } else {
        EXPECT_EQ(r, -1);
        EXPECT_NE(err.find("CAP_NET_RAW"), std::string::npos);
    }
}

TEST_F(EngineReachability, WithoutAnyEchoSocketItSaysSoOnceAndNamesTheCapability) {
    if (can_open(SOCK_DGRAM)) GTEST_SKIP() << "ping_group_range admits us: no capability needed";
    int first = 0, second = 0;
    bool dropped = false;
    test::DebugLines debug_lines;
    testing::internal::CaptureStderr();
    std::thread([&] {
        dropped = drop_net_raw_here();
        first = engine.ping_device("127.0.0.1");
        second = engine.ping_device("127.0.0.1");
    }).join();
    const std::string out = debug_lines.take();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(dropped);
    EXPECT_EQ(first, -1);
    EXPECT_EQ(second, -1);
    EXPECT_EQ(engine.m_echo_unavailable, 1);
    EXPECT_EQ(count_of(err, "Unable to open handle for ICMP.\n"), 2);
    EXPECT_EQ(count_of(err, "CAP_NET_RAW"), 1);
    EXPECT_EQ(count_of(out, "Device is unreachable.\n"), 2);
    EXPECT_NE(std::string(EngineInternals::echo_unavailable_text()).find("CAP_NET_RAW"),
              std::string::npos);
}

// The capability message is the text table's, in the language of the interface.
TEST_F(EngineReachability, TheCapabilityMessageComesFromTheTextTable) {
    for (bool english : {true, false}) {
        ui_texts().fill(english);
        const std::string text = EngineInternals::echo_unavailable_text();
        EXPECT_EQ(text, T(TextId::msg_echo_unavailable));
        EXPECT_NE(text.find("CAP_NET_RAW"), std::string::npos) << text;
    }
    UiTexts zh, en;
    zh.fill(false);
    en.fill(true);
    EXPECT_NE(zh.get(TextId::msg_echo_unavailable), en.get(TextId::msg_echo_unavailable));
    ui_texts().fill(true);
}

// Out of descriptors is no missing capability: that one address is not answered, nothing is
// said about capabilities, and the next address is probed again.
TEST_F(EngineReachability, OutOfDescriptorsMarksOnlyThatAddressUnreachable) {
    if (!can_open(SOCK_DGRAM) && !can_open(SOCK_RAW)) GTEST_SKIP() << "no ICMP socket here at all";
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    test::DebugLines debug_lines;
    // One line before the descriptors run out: UndefinedBehaviorSanitizer's first check of the
    // sink's type needs a free descriptor, later lines hit its cache.
    debug_line("before the descriptors run out\n");
    debug_lines.take();
    testing::internal::CaptureStderr();
    int starved = 0;
    {
        // Every descriptor below a lowered limit taken: the probe's socket finds none.
        rlimit low = old;
        low.rlim_cur = 256;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
        std::vector<UniqueFd> hog;
        for (;;) {
            UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
            if (!fd.valid()) break;
            hog.push_back(std::move(fd));
        }
        starved = engine.ping_device("127.0.0.1");
    }
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);
    const int after = engine.ping_device("127.0.0.1");
    const std::string out = debug_lines.take();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(starved, 0);
    EXPECT_EQ(engine.m_echo_unavailable, 0);
    EXPECT_EQ(err.find("CAP_NET_RAW"), std::string::npos) << err;
    EXPECT_NE(err.find("Unable to open handle for ICMP.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("GetLastError: " + std::to_string(EMFILE)), std::string::npos) << err;
    EXPECT_EQ(out.rfind("Device is unreachable.\n", 0), 0u) << out;
    EXPECT_EQ(after, 1) << "the next address is probed as usual";
}

// Moves the calling thread into a network namespace of its own with loopback up and unprivileged
// ICMP datagram sockets admitted, then drops CAP_NET_RAW: only the datagram socket is left.
bool enter_namespace_with_datagram_echo_only() {
    if (::unshare(CLONE_NEWNET) != 0) return false;
    UniqueFd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    if (!s.valid() || ::ioctl(s.get(), SIOCGIFFLAGS, &ifr) != 0) return false;
    ifr.ifr_flags = short(ifr.ifr_flags | IFF_UP);
    if (::ioctl(s.get(), SIOCSIFFLAGS, &ifr) != 0) return false;
    // The net sysctls are those of the opening thread's namespace.
    UniqueFd f(::open("/proc/sys/net/ipv4/ping_group_range", O_WRONLY | O_CLOEXEC));
    const char range[] = "0 2147483647";
    if (!f.valid() || ::write(f.get(), range, sizeof range - 1) != ssize_t(sizeof range - 1))
        return false;
    return drop_net_raw_here() && !can_open(SOCK_RAW) && can_open(SOCK_DGRAM);
}

TEST_F(EngineReachability, TheUnprivilegedDatagramSocketAlsoProbes) {
    bool ready = false;
    int r = 0;
    test::DebugLines debug_lines;
    // A thread of its own: the namespace and the dropped capability end with it.
    std::thread([&] {
        ready = enter_namespace_with_datagram_echo_only();
        if (ready) r = engine.ping_device("127.0.0.1");
    }).join();
    const std::string out = debug_lines.take();
    if (!ready) GTEST_SKIP() << "cannot create a network namespace here";
    EXPECT_EQ(r, 1);
    EXPECT_EQ(out, "Ping to 127.0.0.1 succeeded!\nDevice is reachable.\n");
}

TEST_F(EngineReachability, NoProbeForAnAddressThatIsNoHost) {
    for (const char* ip : {"", "1.2.3", "999.0.0.1", "0.0.0.0", "255.255.255.255"}) {
        test::DebugLines debug_lines;
        testing::internal::CaptureStderr();
        EXPECT_EQ(engine.ping_device(ip), 0) << ip;
        EXPECT_EQ(debug_lines.take(), "Device is unreachable.\n");
        EXPECT_NE(testing::internal::GetCapturedStderr().find(
                      "Ping request failed. GetLastError: "),
                  std::string::npos);
    }
}

// ---- what a received packet means ----

std::vector<uint8_t> icmp(uint8_t type, uint8_t code, uint16_t id, uint16_t seq,
                          std::vector<uint8_t> body = {}) {
    std::vector<uint8_t> p = {
        type, code, 0, 0, uint8_t(id >> 8), uint8_t(id), uint8_t(seq >> 8), uint8_t(seq)};
    p.insert(p.end(), body.begin(), body.end());
    return p;
}
std::vector<uint8_t> with_ip(std::vector<uint8_t> payload, uint8_t proto = IPPROTO_ICMP,
                             int ihl_words = 5) {
    std::vector<uint8_t> p(std::size_t(ihl_words) * 4, 0);
    p[0] = uint8_t(0x40 | ihl_words);
    p[9] = proto;
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}
EchoPacket classify(const std::vector<uint8_t>& p, bool raw, int id, uint16_t seq,
                    int* status = nullptr) {
    return classify_echo_packet(p.data(), p.size(), raw, id, seq, status);
}

TEST(EngineEchoPacket, RepliesAreMatchedByIdAndSequence) {
    EXPECT_EQ(classify(with_ip(icmp(ICMP_ECHOREPLY, 0, 0x1234, 7)), true, 0x1234, 7),
              EchoPacket::reply);
    EXPECT_EQ(classify(with_ip(icmp(ICMP_ECHOREPLY, 0, 0x1234, 7), IPPROTO_ICMP, 6), true, 0x1234,
                       7),
              EchoPacket::reply);  // IP options
    EXPECT_EQ(classify(with_ip(icmp(ICMP_ECHOREPLY, 0, 0x1234, 8)), true, 0x1234, 7),
              EchoPacket::other);
    EXPECT_EQ(classify(with_ip(icmp(ICMP_ECHOREPLY, 0, 0x1235, 7)), true, 0x1234, 7),
              EchoPacket::other);
    // Our own request, seen by a raw socket on loopback, is no answer.
    EXPECT_EQ(classify(with_ip(icmp(ICMP_ECHO, 0, 0x1234, 7)), true, 0x1234, 7), EchoPacket::other);
    // A datagram socket delivers no IP header, and the kernel has matched the id.
    EXPECT_EQ(classify(icmp(ICMP_ECHOREPLY, 0, 0x9999, 7), false, -1, 7), EchoPacket::reply);
}

TEST(EngineEchoPacket, ErrorsAboutOurRequestCarryTheirStatus) {
    const auto quoted = with_ip(icmp(ICMP_ECHO, 0, 0x1234, 7));
    int status = 0;
    EXPECT_EQ(classify(with_ip(icmp(ICMP_DEST_UNREACH, ICMP_HOST_UNREACH, 0, 0, quoted)), true,
                       0x1234, 7, &status),
              EchoPacket::error_reply);
    EXPECT_EQ(status, ICMP_DEST_UNREACH << 8 | ICMP_HOST_UNREACH);
    EXPECT_EQ(classify(with_ip(icmp(ICMP_TIME_EXCEEDED, 0, 0, 0, quoted)), true, 0x1234, 7,
                       &status),
              EchoPacket::error_reply);
    EXPECT_EQ(status, ICMP_TIME_EXCEEDED << 8);
    // About someone else's request, or about something that is no echo request.
    EXPECT_EQ(classify(with_ip(icmp(ICMP_DEST_UNREACH, 1, 0, 0, with_ip(icmp(ICMP_ECHO, 0, 1, 7)))),
                       true, 0x1234, 7),
              EchoPacket::other);
    EXPECT_EQ(classify(with_ip(icmp(ICMP_DEST_UNREACH, 3, 0, 0,
                                    with_ip(icmp(ICMP_ECHO, 0, 0x1234, 7), IPPROTO_UDP))),
                       true, 0x1234, 7),
              EchoPacket::other);
}

TEST(EngineEchoPacket, ShortOrMalformedPacketsAreIgnored) {
    const auto good = with_ip(icmp(ICMP_ECHOREPLY, 0, 0x1234, 7));
    for (std::size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
        EXPECT_EQ(classify(cut, true, 0x1234, 7), EchoPacket::other) << n;
    }
    auto v6 = good;
    v6[0] = 0x65;
    EXPECT_EQ(classify(v6, true, 0x1234, 7), EchoPacket::other);
    auto tiny_ihl = good;
    tiny_ihl[0] = 0x42;
    EXPECT_EQ(classify(tiny_ihl, true, 0x1234, 7), EchoPacket::other);
    auto huge_ihl = good;
    huge_ihl[0] = 0x4F;  // 60 bytes of header claimed in a 28-byte packet
    EXPECT_EQ(classify(huge_ihl, true, 0x1234, 7), EchoPacket::other);
    // An error whose quote is cut short.
    const auto quoted = with_ip(icmp(ICMP_ECHO, 0, 0x1234, 7));
    for (std::size_t n = 0; n < quoted.size(); ++n) {
        std::vector<uint8_t> q(quoted.begin(), quoted.begin() + long(n));
        EXPECT_EQ(classify(with_ip(icmp(ICMP_DEST_UNREACH, 1, 0, 0, q)), true, 0x1234, 7),
                  EchoPacket::other)
            << n;
    }
}

TEST(EngineEchoPacket, InternetChecksum) {
    // The example of RFC 1071: the sum is 0xDDF2, the checksum its complement.
    const uint8_t rfc[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    EXPECT_EQ(internet_checksum(rfc, sizeof rfc), uint16_t(~0xDDF2));
    // A packet carrying its checksum sums to zero; an odd length pads with a zero byte.
    uint8_t pkt[9] = {8, 0, 0, 0, 0x12, 0x34, 0, 1, 0x7F};
    const uint16_t c = internet_checksum(pkt, sizeof pkt);
    pkt[2] = uint8_t(c >> 8);
    pkt[3] = uint8_t(c);
    EXPECT_EQ(internet_checksum(pkt, sizeof pkt), 0);
}

}  // namespace
}  // namespace quillon::test
