// SPDX-License-Identifier: Apache-2.0
// The batch driver in range mode without any way to send an echo: on Linux, a thread without the
// capability CAP_NET_RAW where ping_group_range does not admit the process.
#include <linux/capability.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "engine_driver_support.h"
#include "platform/unique_fd.h"

namespace quillon::test {
namespace {

std::vector<std::string> range_ips(int first, int last) {
    std::vector<std::string> out;
    for (int i = first; i <= last; ++i) out.push_back("127.0.0." + std::to_string(i));
    return out;
}

using DriverRange = DriverTest;

// Drops CAP_NET_RAW from the calling thread; threads it creates inherit the reduced set.
bool drop_net_raw_here() {
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &head, data) != 0) return false;
    data[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
    return ::syscall(SYS_capset, &head, data) == 0;
}

TEST_F(DriverRange, WithoutAnyEchoTheUserIsToldOnceAndNoAddressIsMarkedUnreachable) {
    {
        UniqueFd dgram(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
        if (dgram.valid()) GTEST_SKIP() << "ping_group_range admits us: no capability needed";
    }
    fleet = std::make_unique<FakeFleet>(range_ips(50, 51));
    engine.m_port = fleet->port();
    images({700});
    bool dropped = false;
    // The driver, and so its workers, start from a thread without the capability.
    std::thread([&] {
        dropped = drop_net_raw_here();
        engine.start_driver();
    }).join();
    ASSERT_TRUE(dropped);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(start_range("127.0.0.50", 60, 3));
    ASSERT_TRUE(wait_batch());
    testing::internal::GetCapturedStderr();

    const auto msgs = widgets().messages;
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_NE(msgs[0].find("CAP_NET_RAW"), std::string::npos) << msgs[0];
    EXPECT_EQ(msgs[1], "The bulk upgrade process stop !");
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(report_lines().empty());
    EXPECT_EQ(fleet->connections(), 0);
    EXPECT_EQ(observer.passes().size(), 1u);
}

}  // namespace
}  // namespace quillon::test
