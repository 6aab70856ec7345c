// BrelkMulEvent over loopback only: every datagram here goes to 127.0.0.x.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/brelk_mul_event.h"
#include "platform/timing.h"
#include "platform/unique_fd.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

in_addr loopback(const char* text) {
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a;
}

// The same address as the endpoint takes it.
Ipv4 at(const char* text) { return Ipv4{loopback(text).s_addr}; }

sockaddr_in endpoint(const char* ip, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = loopback(ip);
    return sa;
}

// A port that is free on every loopback address right now.
uint16_t free_port() {
    UniqueFd s(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in sa = endpoint("0.0.0.0", 0);
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(s.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
}

UniqueFd udp_socket(const char* bind_ip = nullptr, uint16_t port = 0, bool reuse = true) {
    UniqueFd s(::socket(AF_INET, SOCK_DGRAM, 0));
    int one = 1;
    if (reuse) ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind_ip) {
        sockaddr_in sa = endpoint(bind_ip, port);
        if (::bind(s.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) s.reset();
    }
    return s;
}

void send_to(int sock, const std::string& bytes, const char* ip, uint16_t port) {
    sockaddr_in to = endpoint(ip, port);
    ::sendto(sock, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::string answer_from(const std::string& ip, const char* mac = "00:11:22:33:44:55") {
    DiscoveryAnswer a;
    a.ip = ip;
    a.id = "1019901";
    a.mac = mac;
    a.version = "V2.1";
    return build_answer(a);
}

struct Found {
    std::string ip, id, mac, version, status;
    bool has_ip, has_mac;
};

class RecordingSink : public FoundDeviceSink {
public:
    void add_found_device(const char* ip, const char* id, const char* mac, const char* version,
                          const char* status) override {
        if (stop_returned) ++late_calls;
        std::lock_guard lock(m_);
        found_.push_back({ip ? ip : "", id ? id : "", mac ? mac : "", version ? version : "",
                          status ? status : "", ip != nullptr, mac != nullptr});
        cv_.notify_all();
    }
    bool wait_for(std::size_t n, std::chrono::milliseconds deadline = 5s) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, deadline, [&] { return found_.size() >= n; });
    }
    std::vector<Found> found() {
        std::lock_guard lock(m_);
        return found_;
    }
    std::atomic<bool> stop_returned{false};
    std::atomic<int> late_calls{0};

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Found> found_;
};

// Reads one datagram within the deadline; nullopt when none came.
struct Datagram {
    std::string bytes;
    std::string from_ip;
    uint16_t from_port;
};
std::optional<Datagram> receive(int sock, std::chrono::milliseconds deadline) {
    pollfd p{sock, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(deadline.count())) != 1) return std::nullopt;
    char buf[4096];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = ::recvfrom(sock, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return std::nullopt;
    char ip[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
    return Datagram{std::string(buf, n), ip, ntohs(from.sin_port)};
}

class EndpointTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = free_port();
        sender = udp_socket();
    }
    uint16_t port = 0;
    UniqueFd sender;
    RecordingSink sink;
};

TEST_F(EndpointTest, AnswersOnBothSocketsReachTheSink) {
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    EXPECT_EQ(ev.local_bind_errno(), 0);
    EXPECT_EQ(ev.any_bind_errno(), 0);
    // To the bound address: the bound socket. To another loopback address: only the
    // wildcard socket can take it.
    send_to(sender.get(), answer_from("10.0.0.1"), "127.0.0.1", port);
    ASSERT_TRUE(sink.wait_for(1));
    send_to(sender.get(), answer_from("10.0.0.2", "66:77:88:99:aa:bb"), "127.0.0.3", port);
    ASSERT_TRUE(sink.wait_for(2));
    auto f = sink.found();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].ip, "10.0.0.1");
    EXPECT_EQ(f[0].id, "1019901");
    EXPECT_EQ(f[0].mac, "00:11:22:33:44:55");
    EXPECT_EQ(f[0].version, "V2.1");
    EXPECT_EQ(f[0].status, "Ready");
    EXPECT_EQ(f[1].ip, "10.0.0.2");
    EXPECT_EQ(f[1].mac, "66:77:88:99:aa:bb");
}

TEST_F(EndpointTest, StatusTextComesFromTheProviderAndAbsentTextsAreNull) {
    BrelkMulEvent ev([] { return std::string("\xe5\xb0\xb1\xe7\xbb\xaa"); });
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    send_to(sender.get(), "<event><active>search</active><type>ack</type><id>7</id></event>",
            "127.0.0.1", port);
    ASSERT_TRUE(sink.wait_for(1));
    auto f = sink.found();
    EXPECT_EQ(f[0].status, "\xe5\xb0\xb1\xe7\xbb\xaa");
    EXPECT_FALSE(f[0].has_ip);
    EXPECT_FALSE(f[0].has_mac);
    EXPECT_EQ(f[0].id, "7");
}

// Datagrams on one socket are handled in arrival order, so once the last (valid) answer has
// reached the sink every datagram before it has been judged.
TEST_F(EndpointTest, BadDatagramsAreDroppedAndTheLoopGoesOn) {
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    std::string big = answer_from("10.0.0.99");
    big.resize(kMaxDatagram + 1, ' ');
    std::string fits = answer_from("10.0.0.20");
    fits.resize(kMaxDatagram, ' ');
    send_to(sender.get(), big, "127.0.0.1", port);
    send_to(sender.get(), std::string(60000, '<'), "127.0.0.1", port);
    send_to(sender.get(), "", "127.0.0.1", port);
    send_to(sender.get(), std::string("\0\0\0", 3), "127.0.0.1", port);
    send_to(sender.get(), "<event><active>search</active><type>Ack</type><ip>10.0.0.98</ip></event>",
            "127.0.0.1", port);
    send_to(sender.get(), fits, "127.0.0.1", port);
    send_to(sender.get(), answer_from("10.0.0.21"), "127.0.0.1", port);
    ASSERT_TRUE(sink.wait_for(2));
    auto f = sink.found();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].ip, "10.0.0.20") << "2047 bytes are evaluated";
    EXPECT_EQ(f[1].ip, "10.0.0.21");
}

TEST_F(EndpointTest, OwnRequestIsDropped) {
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    testing::internal::CaptureStderr();
    ev.search(0, "127.0.0.1");  // arrives on our own bound socket
    testing::internal::GetCapturedStderr();
    send_to(sender.get(), answer_from("10.0.0.1"), "127.0.0.1", port);
    ASSERT_TRUE(sink.wait_for(1));
    auto f = sink.found();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].ip, "10.0.0.1");
}

// The endpoint binds 127.0.0.2 so that a listener can own 127.0.0.1 on the same port.
TEST_F(EndpointTest, DirectedSearchSendsTheRequestOnceThroughTheBoundSocket) {
    UniqueFd listener = udp_socket("127.0.0.1", port);
    ASSERT_TRUE(listener.valid());
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.2"), port), 0);

    testing::internal::CaptureStderr();
    ev.search(0, "127.0.0.1");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "BrelkMulEvent::search: 127.0.0.1\n");
    auto d = receive(listener.get(), 2s);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->bytes, build_search_request());
    EXPECT_EQ(d->bytes.size(), 83u);
    EXPECT_EQ(d->from_ip, "127.0.0.2");
    EXPECT_EQ(d->from_port, port);
    EXPECT_FALSE(receive(listener.get(), 200ms)) << "both = 0 sends one datagram";

    // both = 1: the same request again through the wildcard socket.
    testing::internal::CaptureStderr();
    ev.search(1, "127.0.0.1");
    testing::internal::GetCapturedStderr();
    auto first = receive(listener.get(), 2s);
    auto second = receive(listener.get(), 2s);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->from_ip, "127.0.0.2");
    EXPECT_EQ(second->from_ip, "127.0.0.1");
    EXPECT_EQ(second->from_port, port);
    EXPECT_EQ(second->bytes, build_search_request());
    EXPECT_FALSE(receive(listener.get(), 200ms));
    EXPECT_TRUE(sink.found().empty());
}

TEST(EndpointDestination, FollowsInetAddr) {
    EXPECT_EQ(BrelkMulEvent::search_destination("127.0.0.1"), htonl(0x7f000001));
    EXPECT_EQ(BrelkMulEvent::search_destination("127.1"), htonl(0x7f000001));
    EXPECT_EQ(BrelkMulEvent::search_destination(nullptr), htonl(0xffffffff));
    EXPECT_EQ(BrelkMulEvent::search_destination("not an address"), htonl(0xffffffff));
    EXPECT_EQ(BrelkMulEvent::search_destination("1.2.3.256"), htonl(0xffffffff));
}

TEST_F(EndpointTest, AFailedBindIsReportedAndStartStillSucceeds) {
    UniqueFd squatter = udp_socket("127.0.0.1", port, /*reuse=*/false);
    ASSERT_TRUE(squatter.valid());
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    EXPECT_EQ(ev.local_bind_errno(), EADDRINUSE);
    EXPECT_EQ(ev.any_bind_errno(), EADDRINUSE);
}

// Two Quillon programs on one adapter: the second would share the port (SO_REUSEADDR) and
// take answers meant for the first. It stays off the port and says why instead.
TEST_F(EndpointTest, ASecondEndpointOnTheSameAddressAndPortLeavesThePortToTheFirst) {
    BrelkMulEvent first;
    ASSERT_EQ(first.start(&sink, at("127.0.0.1"), port), 0);
    ASSERT_EQ(first.local_bind_errno(), 0);
    RecordingSink other;
    BrelkMulEvent second;
    ASSERT_EQ(second.start(&other, at("127.0.0.1"), port), 0) << "still usable for sending";
    EXPECT_EQ(second.local_bind_errno(), EADDRINUSE);
    EXPECT_EQ(second.any_bind_errno(), EADDRINUSE);
    for (int i = 0; i < 20; ++i) send_to(sender.get(), answer_from("10.4.0." + std::to_string(i)), "127.0.0.1", port);
    ASSERT_TRUE(sink.wait_for(20));
    EXPECT_FALSE(other.wait_for(1, 100ms));

    // Another adapter's address is another claim.
    RecordingSink third_sink;
    BrelkMulEvent third;
    ASSERT_EQ(third.start(&third_sink, at("127.0.0.2"), port), 0);
    EXPECT_EQ(third.local_bind_errno(), 0);
    third.stop();

    // Once the first has stopped, the port is free for the next start.
    first.stop();
    ASSERT_EQ(second.start(&other, at("127.0.0.1"), port), 0);
    EXPECT_EQ(second.local_bind_errno(), 0);
    send_to(sender.get(), answer_from("10.4.1.1"), "127.0.0.1", port);
    EXPECT_TRUE(other.wait_for(1));
}

TEST_F(EndpointTest, StopClosesTheSocketsAndStartOpensThemAgain) {
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    ev.stop();
    // Only a closed socket lets a non-sharing bind take the port.
    EXPECT_TRUE(udp_socket("127.0.0.1", port, false).valid());
    EXPECT_TRUE(udp_socket("0.0.0.0", port, false).valid());
    ev.stop();  // twice is harmless
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0) << "start replaces a running endpoint";
    send_to(sender.get(), answer_from("10.0.0.1"), "127.0.0.1", port);
    ASSERT_TRUE(sink.wait_for(1));
}

TEST_F(EndpointTest, NoSinkCallAfterStopWhileAnswersKeepArriving) {
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    std::atomic<bool> sending{true};
    std::thread flood([&] {
        UniqueFd s = udp_socket();
        const std::string a = answer_from("10.0.0.1");
        for (int i = 0; sending && i < 200000; ++i) send_to(s.get(), a, i % 2 ? "127.0.0.1" : "127.0.0.5", port);
    });
    ASSERT_TRUE(sink.wait_for(50));
    ev.stop();
    sink.stop_returned = true;
    const std::size_t at_stop = sink.found().size();
    // Keep the flood going a little longer against the closed sockets.
    for (int i = 0; i < 2000; ++i) send_to(sender.get(), answer_from("10.0.0.2"), "127.0.0.1", port);
    sending = false;
    flood.join();
    EXPECT_EQ(sink.late_calls, 0);
    EXPECT_EQ(sink.found().size(), at_stop);
}

// A building answers at once; the receive buffer must hold the burst while the thread parses.
TEST_F(EndpointTest, BurstOfAnswersIsNotDropped) {
    {
        // The buffer needs net.core.rmem_max or the privilege to exceed it.
        UniqueFd probe = udp_socket();
        int want = BrelkMulEvent::kRecvBufferBytes, got = 0;
        socklen_t len = sizeof got;
        ::setsockopt(probe.get(), SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want);
        ::getsockopt(probe.get(), SOL_SOCKET, SO_RCVBUF, &got, &len);
        if (got < want) GTEST_SKIP() << "receive buffer capped at " << got << " bytes";
    }
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    constexpr int kDevices = 2000;
    for (int i = 0; i < kDevices; ++i) {
        std::string ip = "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256);
        send_to(sender.get(), answer_from(ip), "127.0.0.1", port);
    }
    ASSERT_TRUE(sink.wait_for(kDevices, 20s)) << sink.found().size() << " of " << kDevices;
    auto f = sink.found();
    EXPECT_EQ(f.front().ip, "10.1.0.0");
    EXPECT_EQ(f.back().ip, "10.1.7.207");
}

// Bytes queued for the UDP sockets on `port` (the rx_queue column of /proc/net/udp).
long queued_bytes(uint16_t port) {
    std::FILE* f = std::fopen("/proc/net/udp", "r");
    if (!f) return -1;
    char line[512];
    char want[8];
    std::snprintf(want, sizeof want, ":%04X", port);
    long total = 0;
    while (std::fgets(line, sizeof line, f)) {
        unsigned long tx = 0, rx = 0;
        char local[64] = {};
        if (std::sscanf(line, " %*d: %63s %*s %*s %lx:%lx", local, &tx, &rx) != 3) continue;
        const std::string l(local);
        if (l.size() >= 5 && l.compare(l.size() - 5, 5, want) == 0) total += static_cast<long>(rx);
    }
    std::fclose(f);
    return total;
}

// Holds the receive thread in its first hand-over until released, as a slow window does, and
// records every hand-over with the time it began.
class HoldingSink : public FoundDeviceSink {
public:
    struct Call {
        std::vector<std::string> ips;
        std::vector<std::chrono::steady_clock::time_point> arrived;
        std::chrono::steady_clock::time_point at;
    };
    void add_found_device(const char*, const char*, const char*, const char*, const char*) override {
        ADD_FAILURE() << "answers read together come as one hand-over";
    }
    void add_found_devices(const std::vector<ReceivedAnswer>& answers, const char*) override {
        Call c;
        c.at = std::chrono::steady_clock::now();
        for (const ReceivedAnswer& r : answers) {
            c.ips.push_back(r.answer.ip.value_or(""));
            c.arrived.push_back(r.arrived);
        }
        std::unique_lock lock(m_);
        calls_.push_back(std::move(c));
        cv_.notify_all();
        cv_.wait(lock, [&] { return released_ || calls_.size() > 1; });
    }
    bool wait_calls(std::size_t n) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, 5s, [&] { return calls_.size() >= n; });
    }
    void release() {
        std::lock_guard lock(m_);
        released_ = true;
        cv_.notify_all();
    }
    std::vector<Call> calls() {
        std::lock_guard lock(m_);
        return calls_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Call> calls_;
    bool released_ = false;
};

// A socket asking for receive stamps, once the kernel stamps datagrams as they arrive. The
// kernel turns that on for the whole machine a moment after the first socket asks (until then
// a datagram is stamped when it is read), and off again after the last one closes: keep the
// socket open while the stamps matter.
UniqueFd stamping_socket() {
    UniqueFd s = udp_socket("127.0.0.1", 0);
    int one = 1;
    ::setsockopt(s.get(), SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
    sockaddr_in self{};
    socklen_t len = sizeof self;
    ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&self), &len);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        ::sendto(s.get(), "x", 1, 0, reinterpret_cast<sockaddr*>(&self), sizeof self);
        pollfd p{s.get(), POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1) continue;
        timespec queued{};
        ::clock_gettime(CLOCK_REALTIME, &queued);
        char buf[8];
        iovec iov{buf, sizeof buf};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        if (::recvmsg(s.get(), &msg, 0) < 0) continue;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            if (stamp.tv_sec < queued.tv_sec ||
                (stamp.tv_sec == queued.tv_sec && stamp.tv_nsec <= queued.tv_nsec)) {
                return s;  // stamped before it was seen queued: on arrival
            }
        }
    }
    return UniqueFd();
}

TEST_F(EndpointTest, AnswersQueuedWhileTheSinkIsBusyComeTogetherWithTheirArrivalTimes) {
    const UniqueFd stamps_on = stamping_socket();
    ASSERT_TRUE(stamps_on.valid()) << "the kernel never stamped a datagram on arrival";
    HoldingSink holding;
    BrelkMulEvent ev;
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(ev.start(&holding, at("127.0.0.1"), port), 0);
    send_to(sender.get(), answer_from("10.2.0.1", "00:01"), "127.0.0.1", port);
    ASSERT_TRUE(holding.wait_calls(1));  // the receive thread is now held

    // Three more answers wait in the socket, then the sink is released.
    send_to(sender.get(), answer_from("10.2.0.2", "00:02"), "127.0.0.1", port);
    long one = 0;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while ((one = queued_bytes(port)) <= 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_GT(one, 0) << "the answer never showed in /proc/net/udp";
    send_to(sender.get(), answer_from("10.2.0.3", "00:03"), "127.0.0.1", port);
    send_to(sender.get(), answer_from("10.2.0.4", "00:04"), "127.0.0.1", port);
    while (queued_bytes(port) < 3 * one && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_GE(queued_bytes(port), 3 * one);
    const auto all_queued = std::chrono::steady_clock::now();
    holding.release();
    ASSERT_TRUE(holding.wait_calls(2));
    ev.stop();

    const std::vector<HoldingSink::Call> calls = holding.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].ips, std::vector<std::string>{"10.2.0.1"});
    EXPECT_EQ(calls[1].ips, (std::vector<std::string>{"10.2.0.2", "10.2.0.3", "10.2.0.4"}));
    // Read after they were seen queued, but stamped with when they arrived: before that.
    EXPECT_GT(calls[1].at, all_queued);
    for (const auto& t : calls[1].arrived) {
        EXPECT_GE(t, before);
        EXPECT_LE(t, all_queued);
    }
    EXPECT_LE(calls[1].arrived[0], calls[1].arrived[1]);
    EXPECT_LE(calls[1].arrived[1], calls[1].arrived[2]);
}

// Like the desktop program's window port: each answer becomes a job that the sink hands to
// the "window" thread and waits for, while that thread is the one that stops the endpoint.
class WindowSink : public FoundDeviceSink {
public:
    void add_found_device(const char* ip, const char*, const char*, const char*, const char*) override {
        std::unique_lock lock(m_);
        pending_.push_back(ip ? ip : "");
        ++waiting_;
        cv_.notify_all();
        const std::size_t mine = posted_++;
        cv_.wait(lock, [&] { return served_ > mine; });
        --waiting_;
    }
    // The window thread's turn: runs every job posted so far.
    void serve() {
        std::lock_guard lock(m_);
        for (std::string& ip : pending_) listed_.push_back(std::move(ip));
        pending_.clear();
        served_ = posted_;
        cv_.notify_all();
    }
    bool wait_until_waiting(std::chrono::milliseconds deadline = 5s) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, deadline, [&] { return waiting_ > 0; });
    }
    std::vector<std::string> listed() {
        std::lock_guard lock(m_);
        return listed_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::string> pending_, listed_;
    std::size_t posted_ = 0, served_ = 0;
    int waiting_ = 0;
};

TEST_F(EndpointTest, StopThatServesTheSinkEndsWhileAHandOverWaitsForTheStoppingThread) {
    WindowSink window;
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&window, at("127.0.0.1"), port), 0);
    send_to(sender.get(), answer_from("10.3.0.1"), "127.0.0.1", port);
    ASSERT_TRUE(window.wait_until_waiting()) << "the answer never reached the sink";

    // A plain stop here would wait for the receive thread, which waits for this thread.
    std::atomic<bool> stopped{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1000 && !stopped; ++i) std::this_thread::sleep_for(10ms);
        if (!stopped) {
            std::fprintf(stderr, "stop did not return within 10 s: the threads wait for each other\n");
            std::abort();
        }
    });
    ev.stop([&] { window.serve(); });
    stopped = true;
    watchdog.join();
    // The hand-over that was waiting ran to its end; nothing comes after the stop.
    EXPECT_EQ(window.listed(), std::vector<std::string>{"10.3.0.1"});
    send_to(sender.get(), answer_from("10.3.0.2"), "127.0.0.1", port);
    std::this_thread::sleep_for(50ms);
    window.serve();
    EXPECT_EQ(window.listed().size(), 1u);

    // Started again, the endpoint serves as before; a stop with nothing waiting needs no turn.
    ASSERT_EQ(ev.start(&window, at("127.0.0.1"), port), 0);
    send_to(sender.get(), answer_from("10.3.0.3"), "127.0.0.1", port);
    ASSERT_TRUE(window.wait_until_waiting());
    window.serve();
    ev.stop([&] { window.serve(); });
    EXPECT_EQ(window.listed(), (std::vector<std::string>{"10.3.0.1", "10.3.0.3"}));
}

// Workers search while the adapter selector restarts the endpoint.
TEST_F(EndpointTest, SearchesRaceWithStopAndStartSafely) {
    UniqueFd listener = udp_socket("127.0.0.1", port);
    ASSERT_TRUE(listener.valid());
    const auto saved = timing().after_search;
    timing().after_search = 1ms;
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.2"), port), 0);
    std::atomic<bool> run{true};
    testing::internal::CaptureStderr();
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w) {
        workers.emplace_back([&] {
            for (int i = 0; run && i < 2000; ++i) ev.search(i % 2, "127.0.0.1");
        });
    }
    for (int i = 0; i < 100; ++i) {
        ev.stop();
        ASSERT_EQ(ev.start(&sink, at("127.0.0.2"), port), 0);
    }
    run = false;
    for (auto& t : workers) t.join();
    testing::internal::GetCapturedStderr();
    timing().after_search = saved;
    // Something got through, and everything that did is the request.
    int got = 0;
    while (auto d = receive(listener.get(), 0ms)) {
        ASSERT_EQ(d->bytes, build_search_request());
        ++got;
    }
    EXPECT_GT(got, 0);
}

}  // namespace
}  // namespace quillon
