// SPDX-License-Identifier: Apache-2.0
// BrelkMulEvent over loopback only: every datagram here goes to 127.0.0.x.
#include <gtest/gtest.h>

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
#include "discovery_endpoint_support.h"
#include "platform/timing.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;
using namespace test;

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
    send_to(sender.get(),
            "<event><active>search</active><type>Ack</type><ip>10.0.0.98</ip></event>", "127.0.0.1",
            port);
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
    Socket listener = udp_socket("127.0.0.1", port);
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
    EXPECT_EQ(BrelkMulEvent::search_destination("127.0.0.1"), host_to_net32(0x7f000001));
    EXPECT_EQ(BrelkMulEvent::search_destination("127.1"), host_to_net32(0x7f000001));
    EXPECT_EQ(BrelkMulEvent::search_destination(nullptr), host_to_net32(0xffffffff));
    EXPECT_EQ(BrelkMulEvent::search_destination("not an address"), host_to_net32(0xffffffff));
    EXPECT_EQ(BrelkMulEvent::search_destination("1.2.3.256"), host_to_net32(0xffffffff));
}

TEST_F(EndpointTest, AFailedBindIsReportedAndStartStillSucceeds) {
    Socket squatter = udp_socket("127.0.0.1", port, /*reuse=*/false);
    ASSERT_TRUE(squatter.valid());
    BrelkMulEvent ev;
    ASSERT_EQ(ev.start(&sink, at("127.0.0.1"), port), 0);
    EXPECT_EQ(ev.local_bind_errno(), address_in_use_error());
    EXPECT_EQ(ev.any_bind_errno(), address_in_use_error());
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
    EXPECT_EQ(second.local_bind_errno(), address_in_use_error());
    EXPECT_EQ(second.any_bind_errno(), address_in_use_error());
    for (int i = 0; i < 20; ++i)
        send_to(sender.get(), answer_from("10.4.0." + std::to_string(i)), "127.0.0.1", port);
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
        Socket s = udp_socket();
        const std::string a = answer_from("10.0.0.1");
        for (int i = 0; sending && i < 200000; ++i)
            send_to(s.get(), a, i % 2 ? "127.0.0.1" : "127.0.0.5", port);
    });
    ASSERT_TRUE(sink.wait_for(50));
    ev.stop();
    sink.stop_returned = true;
    const std::size_t at_stop = sink.found().size();
    // Keep the flood going a little longer against the closed sockets.
    for (int i = 0; i < 2000; ++i)
        send_to(sender.get(), answer_from("10.0.0.2"), "127.0.0.1", port);
    sending = false;
    flood.join();
    EXPECT_EQ(sink.late_calls, 0);
    EXPECT_EQ(sink.found().size(), at_stop);
}

// Like the desktop program's window port: each answer becomes a job that the sink hands to
// the "window" thread and waits for, while that thread is the one that stops the endpoint.
class WindowSink : public FoundDeviceSink {
public:
    void add_found_device(const char* ip, const char*, const char*, const char*,
                          const char*) override {
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
            std::fprintf(stderr,
                         "stop did not return within 10 s: the threads wait for each other\n");
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
    Socket listener = udp_socket("127.0.0.1", port);
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
