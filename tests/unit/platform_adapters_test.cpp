// SPDX-License-Identifier: Apache-2.0
// Adapter listing: system order, first IPv4 address per interface, loopback left out.
#include "platform/adapters.h"
#include "platform/adapter_order.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

namespace quillon {
namespace {

bool is_dotted_ipv4(const std::string& text) {
    unsigned a, b, c, d;
    char end;
    return std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &end) == 4 && a < 256 &&
           b < 256 && c < 256 && d < 256;
}

TEST(Adapters, FirstAddressOfEachInterfaceInSystemOrder) {
    auto list = adapters_from({{"lo", "127.0.0.1"},
                               {"enp3s0", "10.1.2.3"},
                               {"wlan0", "192.168.1.20"},
                               {"enp3s0", "10.9.9.9"},
                               {"docker0", "172.17.0.1"}});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "enp3s0");
    EXPECT_EQ(list[0].ipv4, "10.1.2.3");
    EXPECT_EQ(list[1].name, "wlan0");
    EXPECT_EQ(list[1].ipv4, "192.168.1.20");
    EXPECT_EQ(list[2].name, "docker0");
}

TEST(Adapters, OnlyTheFirstAddressDecidesAboutLoopback) {
    // An interface whose first address is 127.0.0.1 is left out entirely; other loopback
    // addresses are not the one the rule names.
    auto list = adapters_from({{"lo", "127.0.0.1"}, {"lo", "10.0.0.1"}, {"dummy0", "127.0.0.2"}});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "dummy0");
    EXPECT_EQ(list[0].ipv4, "127.0.0.2");
}

TEST(Adapters, AddressLabelsBelongToTheirInterface) {
    auto list = adapters_from({{"eth0:1", "10.0.0.7"}, {"eth0", "10.0.0.8"}, {"eth1", "10.1.0.1"}});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "eth0");
    EXPECT_EQ(list[0].ipv4, "10.0.0.7");
    EXPECT_EQ(list[1].name, "eth1");
}

TEST(Adapters, NothingListedGivesAnEmptyList) {
    EXPECT_TRUE(adapters_from({}).empty());
    EXPECT_TRUE(adapters_from({{"lo", "127.0.0.1"}}).empty());
}

TEST(Adapters, SystemListHasValidAddressesAndNoLoopback) {
    auto addresses = system_ipv4_addresses();
    for (const auto& a : addresses) {
        EXPECT_TRUE(is_dotted_ipv4(a.ipv4)) << a.ipv4;
        EXPECT_FALSE(a.interface_name.empty());
    }
    auto adapters = list_ipv4_adapters();
    std::set<std::string> names;
    for (const auto& a : adapters) {
        EXPECT_NE(a.ipv4, "127.0.0.1");
        EXPECT_TRUE(names.insert(a.name).second) << "listed twice: " << a.name;
        // Every adapter listed is one of the system's addresses, of an interface that is up.
        bool found = false;
        for (const auto& s : addresses) {
            const std::string base = s.interface_name.substr(0, s.interface_name.find(':'));
            found = found || ((s.interface_name == a.name || base == a.name) && s.ipv4 == a.ipv4);
        }
        EXPECT_TRUE(found) << a.name << " " << a.ipv4;
    }
    EXPECT_LE(adapters.size(), addresses.size());
    // In the order of order_adapters: the box's first entry is the likely site network.
    for (std::size_t i = 1; i < adapters.size(); ++i) {
        const Adapter& a = adapters[i - 1];
        const Adapter& b = adapters[i];
        EXPECT_LE(adapter_rank(a.name, a.up, a.loopback), adapter_rank(b.name, b.up, b.loopback))
            << a.name << " before " << b.name;
    }
}

TEST(Adapters, TheLoopbackAddressIsMarked) {
    // Loopback is configured on every system the tests run on (Wine lists the host's).
    bool seen = false;
    for (const auto& a : system_ipv4_addresses()) {
        if (a.ipv4 != "127.0.0.1") continue;
        seen = true;
        EXPECT_TRUE(a.loopback) << a.interface_name;
    }
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace quillon
