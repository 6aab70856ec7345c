// SPDX-License-Identifier: Apache-2.0
// Connecting on Linux: the connected socket is left in blocking mode, each call of the exchange
// saying for itself that it does not wait (Windows has no such switch per call and keeps it
// non-blocking).
#include <fcntl.h>
#include <gtest/gtest.h>

#include "support/debug_lines.h"
#include "engine_test_support.h"

namespace quillon::test {
namespace {

using EngineConnectLinux = EngineTest;

TEST_F(EngineConnectLinux, TheConnectedSocketIsInBlockingMode) {
    constexpr int kW = 1;
    FakeDevice dev([](SocketHandle fd) {
        std::vector<uint8_t> rest;
        read_to_eof(fd, rest, 5s);
    });
    engine.m_port = dev.port();
    engine.set_cur_device(kW, "127.0.0.1", "");
    window.selected = kW;
    test::DebugLines debug_lines;
    const int r = engine.connect_device("127.0.0.1", kW, 0, 4);
    const std::string out = debug_lines.take();
    ASSERT_EQ(r, 0) << out;
    ASSERT_TRUE(engine.m_sock[kW].valid());
    EXPECT_EQ(::fcntl(static_cast<int>(engine.m_sock[kW].get()), F_GETFL) & O_NONBLOCK, 0);
    engine.m_sock[kW].reset();
    EXPECT_TRUE(wait_until([&] { return dev.finished(); }));
}

}  // namespace
}  // namespace quillon::test
