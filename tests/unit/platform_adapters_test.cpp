// Adapter listing: system order, first IPv4 address per interface, loopback left out.
#include "platform/adapters.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <set>

namespace quillon {
namespace {

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
        in_addr parsed{};
        EXPECT_EQ(inet_pton(AF_INET, a.ipv4.c_str(), &parsed), 1) << a.ipv4;
        EXPECT_FALSE(a.interface_name.empty());
    }
    auto adapters = list_ipv4_adapters();
    std::set<std::string> names;
    for (const auto& a : adapters) {
        EXPECT_NE(a.ipv4, "127.0.0.1");
        EXPECT_TRUE(names.insert(a.name).second) << "listed twice: " << a.name;
    }
    EXPECT_LE(adapters.size(), addresses.size());
}

}  // namespace
}  // namespace quillon
