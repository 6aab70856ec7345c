// SPDX-License-Identifier: Apache-2.0
// Answers from several discovery endpoints into one sink: every answer is passed on once, and each
// device keeps the adapter it answered on. No sockets: the endpoints' hand-overs are called
// directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/answer_adapters.h"
#include "discovery_endpoint_support.h"

namespace quillon {
namespace {

using test::RecordingSink;

ReceivedAnswer answer(const char* ip, bool bound) {
    ReceivedAnswer r;
    r.answer.ip = ip;
    r.answer.mac = "00:11:22:33:44:55";
    r.on_bound_socket = bound;
    return r;
}

TEST(AnswerAdapters, EachDeviceKeepsTheAdapterItAnsweredOnAndEveryAnswerIsPassedOn) {
    RecordingSink sink;
    AnswerAdapters tags(sink);
    FoundDeviceSink& a = tags.sink_for("eth0");
    FoundDeviceSink& b = tags.sink_for("wlan0");

    // A broadcast answer reaches every wildcard socket: the first one to hand it over is only a
    // guess, which the answer sent to an adapter's own address replaces.
    a.add_found_devices({answer("10.0.0.5", false)}, "Ready");
    EXPECT_EQ(tags.adapter_of("10.0.0.5"), "eth0");
    b.add_found_devices({answer("10.0.0.5", true)}, "Ready");
    EXPECT_EQ(tags.adapter_of("10.0.0.5"), "wlan0");
    a.add_found_devices({answer("10.0.0.5", true), answer("10.0.0.5", false)}, "Ready");
    EXPECT_EQ(tags.adapter_of("10.0.0.5"), "wlan0") << "the first sure answer decides";

    // The first answer decides between two of the same kind.
    b.add_found_devices({answer("192.168.1.9", true)}, "Ready");
    a.add_found_devices({answer("192.168.1.9", true)}, "Ready");
    EXPECT_EQ(tags.adapter_of("192.168.1.9"), "wlan0");
    a.add_found_device("172.16.0.3", "1", "aa", "v", "Ready");
    b.add_found_device("172.16.0.3", "1", "aa", "v", "Ready");
    EXPECT_EQ(tags.adapter_of("172.16.0.3"), "eth0");

    // No address: passed on (the sink decides), noted nowhere.
    ReceivedAnswer no_ip;
    a.add_found_devices({no_ip}, "Ready");
    a.add_found_device(nullptr, "1", nullptr, nullptr, "Ready");
    EXPECT_EQ(tags.adapter_of(""), "");
    EXPECT_EQ(tags.adapter_of("10.9.9.9"), "") << "never answered";

    const auto f = sink.found();
    ASSERT_EQ(f.size(), 10u) << "every answer reaches the sink once, duplicates included";
    EXPECT_EQ(f[0].ip, "10.0.0.5");
    EXPECT_EQ(f[0].status, "Ready");
    EXPECT_FALSE(f[8].has_ip);
    EXPECT_FALSE(f[9].has_ip);
}

}  // namespace
}  // namespace quillon
