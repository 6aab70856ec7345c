// SPDX-License-Identifier: Apache-2.0
// The discovery endpoint on Linux: a burst that needs a receive buffer past the system's cap,
// and the kernel's arrival stamps, watched through /proc/net/udp.
#include <gtest/gtest.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "discovery_endpoint_support.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;
using namespace test;

// A building answers at once; the receive buffer must hold the burst while the thread parses.
TEST_F(EndpointTest, BurstOfAnswersIsNotDropped) {
    {
        // The buffer needs net.core.rmem_max or the privilege to exceed it.
        Socket probe = udp_socket();
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
    void add_found_device(const char*, const char*, const char*, const char*,
                          const char*) override {
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
Socket stamping_socket() {
    Socket s = udp_socket("127.0.0.1", 0);
    int one = 1;
    ::setsockopt(s.get(), SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
    sockaddr_in self{};
    socklen_t len = sizeof self;
    ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&self), &len);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        ::sendto(s.get(), "x", 1, 0, reinterpret_cast<sockaddr*>(&self), sizeof self);
        pollfd p{static_cast<int>(s.get()), POLLIN, 0};
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
    return Socket();
}

TEST_F(EndpointTest, AnswersQueuedWhileTheSinkIsBusyComeTogetherWithTheirArrivalTimes) {
    const Socket stamps_on = stamping_socket();
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

}  // namespace
}  // namespace quillon
