// SPDX-License-Identifier: Apache-2.0
// Discovery on several adapters at once over real sockets: each device keeps the adapter whose
// address its answer was sent to, and requests to a device leave by that adapter. Loopback
// addresses stand in for the adapters; every datagram goes to 127.0.0.x.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "discovery/discovery_endpoints.h"
#include "discovery_endpoint_support.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;
using namespace test;

class EndpointsTest : public EndpointTest {};

TEST_F(EndpointsTest, AnswersAreTaggedWithTheAdapterWhoseAddressTheyWereSentTo) {
    DiscoveryEndpoints eps;
    ASSERT_EQ(eps.start(&sink, {{"site", at("127.0.0.2")}, {"office", at("127.0.0.3")}}, port), 2);
    ASSERT_EQ(eps.size(), 2u);
    EXPECT_TRUE(eps.listening(0) && eps.listening(1));
    send_to(sender.get(), answer_from("10.0.0.5", "00:00:00:00:00:05"), "127.0.0.3", port);
    ASSERT_TRUE(sink.wait_for(1));
    send_to(sender.get(), answer_from("10.0.0.6", "00:00:00:00:00:06"), "127.0.0.2", port);
    ASSERT_TRUE(sink.wait_for(2));
    EXPECT_EQ(eps.adapter_of("10.0.0.5"), "office");
    EXPECT_EQ(eps.adapter_of("10.0.0.6"), "site");
    EXPECT_EQ(eps.adapter_of("10.0.0.7"), "");
    eps.stop();
    sink.stop_returned = true;
    send_to(sender.get(), answer_from("10.0.0.8"), "127.0.0.2", port);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sink.late_calls.load(), 0) << "nothing after stop";
    EXPECT_EQ(sink.found().size(), 2u);
}

TEST_F(EndpointsTest, ARequestToADeviceLeavesByItsAdapterOrByEveryAdapterBeforeItAnswered) {
    // The "device" is a listener on 127.0.0.1 (it takes datagrams sent there before the
    // endpoints' wildcard sockets do).
    Socket device = udp_socket("127.0.0.1", port);
    ASSERT_TRUE(device.valid());
    DiscoveryEndpoints eps;
    ASSERT_EQ(eps.start(&sink, {{"site", at("127.0.0.2")}, {"office", at("127.0.0.3")}}, port), 2);

    testing::internal::CaptureStderr();
    eps.search(1, "127.0.0.1");
    testing::internal::GetCapturedStderr();
    std::vector<std::string> from;
    while (auto d = receive(device.get(), 500ms)) {
        EXPECT_EQ(d->bytes, build_search_request());
        from.push_back(d->from_ip);
    }
    std::sort(from.begin(), from.end());
    EXPECT_EQ(from, (std::vector<std::string>{"127.0.0.2", "127.0.0.3"}))
        << "not answered yet: once through each adapter's bound socket";

    send_to(sender.get(), answer_from("127.0.0.1"), "127.0.0.3", port);
    ASSERT_TRUE(sink.wait_for(1));
    testing::internal::CaptureStderr();
    eps.search(1, "127.0.0.1");
    testing::internal::GetCapturedStderr();
    auto d = receive(device.get(), 2s);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->from_ip, "127.0.0.3");
    EXPECT_FALSE(receive(device.get(), 300ms)) << "one request, by the adapter it answered on";
}

TEST_F(EndpointsTest, OneAdapterSendsAsTheSingleEndpointDoes) {
    Socket device = udp_socket("127.0.0.1", port);
    ASSERT_TRUE(device.valid());
    DiscoveryEndpoints eps;
    ASSERT_EQ(eps.start(&sink, {{"site", at("127.0.0.2")}}, port), 1);
    testing::internal::CaptureStderr();
    eps.search(1, "127.0.0.1");
    testing::internal::GetCapturedStderr();
    auto first = receive(device.get(), 2s);
    auto second = receive(device.get(), 2s);
    ASSERT_TRUE(first && second) << "both = 1: through the bound and the wildcard socket";
    EXPECT_EQ(first->from_ip, "127.0.0.2");
    EXPECT_EQ(second->from_ip, "127.0.0.1");
}

TEST_F(EndpointsTest, AnAdapterWhosePortIsTakenIsLeftOutAndTheOthersListen) {
    // Another program (here: another endpoint) listens on the first adapter's address and port.
    BrelkMulEvent other;
    RecordingSink other_sink;
    ASSERT_EQ(other.start(&other_sink, at("127.0.0.2"), port), 0);
    DiscoveryEndpoints eps;
    EXPECT_EQ(eps.start(&sink, {{"site", at("127.0.0.2")}, {"office", at("127.0.0.3")}}, port), 1);
    EXPECT_FALSE(eps.listening(0));
    EXPECT_NE(eps.endpoint(0).local_bind_errno(), 0);
    EXPECT_TRUE(eps.listening(1));
    send_to(sender.get(), answer_from("10.0.0.9"), "127.0.0.3", port);
    ASSERT_TRUE(sink.wait_for(1));
    EXPECT_EQ(eps.adapter_of("10.0.0.9"), "office");

    DiscoveryEndpoints none;
    EXPECT_EQ(none.start(&sink, {}, port), 0);
    EXPECT_EQ(none.size(), 0u);
    testing::internal::CaptureStderr();
    none.search(0, "127.0.0.1");  // nowhere to send: nothing happens
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace quillon
