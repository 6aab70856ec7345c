// SPDX-License-Identifier: Apache-2.0
// The order adapters are offered and picked in: real adapters that are up, then virtual ones,
// then those that are down, then loopback. Pure: runs the same on Linux and under Wine.
#include "platform/adapter_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/adapters.h"

namespace quillon {
namespace {

struct Item {
    std::string name;
    bool up = true;
    bool loopback = false;
};

std::string names(const std::vector<Item>& items) {
    std::string out;
    for (const Item& i : items) out += (out.empty() ? "" : " ") + i.name;
    return out;
}

TEST(AdapterOrder, VirtualBridgesAndContainersComeAfterTheSiteNetwork) {
    std::vector<Item> list = {{"lo", true, true}, {"docker0"}, {"virbr0"}, {"veth1a2b"},
                              {"br-5f3c"},        {"enp3s0"},  {"vmnet8"}, {"vboxnet0"},
                              {"tailscale0"},     {"wg0"},     {"wlan0"},  {"eth1", false}};
    order_adapters(list);
    EXPECT_EQ(
        names(list),
        "enp3s0 wlan0 docker0 virbr0 veth1a2b br-5f3c vmnet8 vboxnet0 tailscale0 wg0 eth1 lo");
}

TEST(AdapterOrder, TheSystemsOrderIsKeptWithinEachGroup) {
    std::vector<Item> list = {{"wg1"},         {"eth2", false},    {"wlp2s0"},    {"docker0"},
                              {"eth1", false}, {"lo", true, true}, {"enp0s31f6"}, {"br-aa"}};
    order_adapters(list);
    EXPECT_EQ(names(list), "wlp2s0 enp0s31f6 wg1 docker0 br-aa eth2 eth1 lo");
    // Already in order: nothing moves.
    const std::string before = names(list);
    order_adapters(list);
    EXPECT_EQ(names(list), before);
}

TEST(AdapterOrder, NamesAreMatchedByTheirBeginningWithoutRegardToCase) {
    // Windows friendly names of the same kinds of adapter.
    for (const char* name : {"vEthernet (WSL)", "vEthernet (Default Switch)", "Tailscale", "VMnet1",
                             "VirtualBox Host-Only Network", "VMware Network Adapter VMnet8",
                             "WG-office", "Docker0", "BR-x"})
        EXPECT_TRUE(is_virtual_adapter_name(name)) << name;
    // Real adapters, also when a listed word appears later in the name or a prefix is incomplete.
    for (const char* name : {"eth0", "enp3s0", "wlan0", "Ethernet", "Wi-Fi", "Ethernet 2",
                             "my-docker", "bridge0", "br0", "w", "", "vet", "dock"})
        EXPECT_FALSE(is_virtual_adapter_name(name)) << name;
}

TEST(AdapterOrder, RanksFollowUpStateAndLoopbackBeforeTheName) {
    EXPECT_EQ(adapter_rank("eth0", true, false), 0);
    EXPECT_EQ(adapter_rank("docker0", true, false), 1);
    EXPECT_EQ(adapter_rank("eth0", false, false), 2);
    EXPECT_EQ(adapter_rank("docker0", false, false), 2);
    EXPECT_EQ(adapter_rank("lo", true, true), 3);
    EXPECT_EQ(adapter_rank("wg0", true, true), 3);
}

TEST(AdapterOrder, OnlyVirtualOrDownAdaptersStillGiveAFirstEntry) {
    std::vector<Item> list = {{"eth0", false}, {"lo", true, true}, {"docker0"}};
    order_adapters(list);
    EXPECT_EQ(names(list), "docker0 eth0 lo");
    std::vector<Item> none;
    order_adapters(none);
    EXPECT_TRUE(none.empty());
}

TEST(AdapterOrder, TheAdapterBoxListCarriesTheFlagsItIsOrderedBy) {
    // adapters_from keeps each interface's state, so the box can be put in this order.
    std::vector<Adapter> list = adapters_from({{"docker0", "172.17.0.1", true, false},
                                               {"eth0", "10.0.0.5", false, false},
                                               {"wlan0", "192.168.1.7", true, false},
                                               {"lo", "127.0.0.1", true, true}});
    order_adapters(list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "wlan0");
    EXPECT_EQ(list[0].ipv4, "192.168.1.7");
    EXPECT_EQ(list[1].name, "docker0");
    EXPECT_EQ(list[2].name, "eth0");
    EXPECT_FALSE(list[2].up);
}

}  // namespace
}  // namespace quillon
