// SPDX-License-Identifier: Apache-2.0
// Connecting to a device: attempts and waits by mode, the row and status line while trying.
#include <gtest/gtest.h>

#include "support/debug_lines.h"
#include "engine_test_support.h"

namespace quillon::test {
namespace {

constexpr int kW = 1;
constexpr int kRow = 4;

class EngineConnect : public EngineTest {
protected:
    void SetUp() override {
        engine.set_cur_device(kW, "127.0.0.1", "");
        window.selected = kW;
        engine.m_port = closed.port();
    }
    // Connects and returns the debug output.
    std::string connect(int images_done, int* result) {
        test::DebugLines debug_lines;
        *result = engine.connect_device("127.0.0.1", kW, images_done, kRow);
        return debug_lines.take();
    }
    ClosedPort closed;
};

std::vector<std::string> attempt_lines(int n, const char* word) {
    std::vector<std::string> v;
    for (int i = 1; i <= n; ++i)
        v.push_back(std::string("IP:127.0.0.1  ") + word + " ... (" + std::to_string(i) + ")");
    return v;
}

// Range mode's first image gets one short attempt; later images get every attempt, each with
// the long wait.
TEST_F(EngineConnect, EachModeWaitsItsOwnTimeForASilentDevice) {
    SilentPort silent;
    engine.m_port = silent.port();
    timing().range_first_wait = 300ms;
    timing().connect_wait = 400ms;
    timing().connect_attempts = 2;
    engine.m_ip_scan = 1;
    int r = 0;
    auto started = Clock::now();
    std::string out = connect(0, &r);
    auto took = Clock::now() - started;
    EXPECT_EQ(r, -1);
    EXPECT_FALSE(engine.m_sock[kW].valid());
    EXPECT_EQ(count_of(out, "connect ret="), 1);
    EXPECT_NE(out.find("start connect ip=127.0.0.1\nlocaltime is "), std::string::npos);
    EXPECT_NE(out.find("connect ret=-1 retry=0\nlocaltime is "), std::string::npos);
    EXPECT_EQ(window.status_lines(), attempt_lines(1, "connecting"));
    EXPECT_EQ(window.column(6), std::vector<std::string>{"connecting"});  // it keeps that text
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took,
              800ms + 5s);  // not the wait of the later images (the margin is for a busy machine)

    started = Clock::now();
    out = connect(1, &r);
    took = Clock::now() - started;
    EXPECT_EQ(r, -1);
    EXPECT_EQ(count_of(out, "connect ret=-1"), 2);
    EXPECT_GE(took, 800ms);
}

TEST_F(EngineConnect, LaterImagesAndListModeGetEveryAttemptEachWithItsFullWait) {
    timing().connect_attempts = 3;
    timing().connect_wait = 100ms;
    timing().range_first_wait = 10ms;
    struct Case {
        int scan, images_done;
    };
    for (Case c : {Case{1, 1}, Case{1, 3}, Case{0, 0}, Case{0, 2}}) {
        SCOPED_TRACE("scan " + std::to_string(c.scan) + " done " + std::to_string(c.images_done));
        engine.m_ip_scan = c.scan;
        const std::size_t before = window.status_lines().size();
        const auto started = Clock::now();
        int r = 0;
        const std::string out = connect(c.images_done, &r);
        const auto took = Clock::now() - started;
        EXPECT_EQ(r, -1);
        EXPECT_EQ(count_of(out, "connect ret=-1 retry="), 3);
        EXPECT_NE(out.find("connect ret=-1 retry=2\n"), std::string::npos);
        auto lines = window.status_lines();
        lines.erase(lines.begin(), lines.begin() + long(before));
        EXPECT_EQ(lines, attempt_lines(3, "connecting"));
        // A refused attempt is not over before its wait: the device may be rebooting. The wait
        // after the last attempt is skipped.
        EXPECT_GE(took, 200ms);
    }
}

TEST_F(EngineConnect, ADeviceThatComesBackIsConnectedOnALaterAttempt) {
    timing().connect_attempts = 5;
    timing().connect_wait = 100ms;
    Socket listener;
    int connecting_cells = 0;
    // The service starts listening just before the second attempt (the port stays ours).
    window.on_cell = [&](int, int col, const std::string& text) {
        if (col == 6 && text == "connecting" && ++connecting_cells == 2) {
            listener = open_tcp_socket();
            set_reuse_address(listener.get());
            closed = ClosedPort();  // frees the port it held
            if (bind_ipv4(listener.get(), *parse_ipv4("127.0.0.1"), engine.m_port) == 0)
                listen_on(listener.get(), 1);
        }
    };
    int r = 0;
    const std::string out = connect(0, &r);
    ASSERT_EQ(r, 0) << out;
    EXPECT_NE(out.find("connect ret=-1 retry=0\nconnect ret=0 retry=1\n"), std::string::npos);
    EXPECT_EQ(window.status_lines().back(), "IP:127.0.0.1  running ... (2)");
    EXPECT_EQ(window.column(6), (std::vector<std::string>{"connecting", "connecting", "running"}));
    ASSERT_TRUE(engine.m_sock[kW].valid());
    // (Its blocking mode on Linux: engine_connect_posix_test.cpp.)
    // The next connection replaces the socket.
    const SocketHandle old = engine.m_sock[kW].get();
    engine.m_port = closed.port();
    timing().connect_attempts = 1;
    connect(0, &r);
    EXPECT_EQ(r, -1);
    EXPECT_FALSE(engine.m_sock[kW].valid());
    EXPECT_EQ(local_port(old), 0);  // the old connection was closed, not leaked
}

TEST_F(EngineConnect, NoAttemptOnAnAddressThatIsNoHost) {
    for (const char* ip : {"", "300.1.1.1", "1.2.3", "abc", "0.0.0.0", "255.255.255.255"}) {
        SCOPED_TRACE(ip);
        test::DebugLines debug_lines;
        EXPECT_EQ(engine.connect_device(ip, kW, 0, kRow), -1);
        const std::string out = debug_lines.take();
        EXPECT_NE(out.find("connect ret=-1 retry=0\n"), std::string::npos);
        EXPECT_TRUE(window.status_lines().empty());
    }
}

}  // namespace
}  // namespace quillon::test
