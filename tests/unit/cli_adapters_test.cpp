// SPDX-License-Identifier: Apache-2.0
// --adapter all and the adapters' order as quillon-cli uses them: which adapters a search takes,
// and how the devices found on several adapters are shown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/adapter_choice.h"
#include "cli/found_devices.h"
#include "cli/local_adapters.h"
#include "platform/adapter_order.h"

namespace quillon::cli {
namespace {

LocalAdapter adapter(const char* name, const char* ip, bool up = true, bool lo = false) {
    LocalAdapter a;
    a.name = name;
    a.address = *parse_ipv4(ip);
    a.up = up;
    a.loopback = lo;
    return a;
}

std::string names(const std::vector<LocalAdapter>& list) {
    std::string out;
    for (const auto& a : list) out += (out.empty() ? "" : " ") + a.name;
    return out;
}

TEST(CliAdapterChoice, DefaultAllAndANamedAdapter) {
    std::vector<LocalAdapter> list = {adapter("lo", "127.0.0.1", true, true),
                                      adapter("docker0", "172.17.0.1"),
                                      adapter("eth0", "10.0.0.1", false),
                                      adapter("wlan0", "192.168.1.5"),
                                      adapter("enp3s0", "10.1.0.1")};
    order_adapters(list);
    EXPECT_EQ(names(list), "wlan0 enp3s0 docker0 eth0 lo");
    EXPECT_EQ(names(chosen_adapters(list, "")), "wlan0") << "the first real adapter that is up";
    EXPECT_EQ(names(chosen_adapters(list, "all")), "wlan0 enp3s0 docker0")
        << "every adapter that is up, virtual ones too; not the one that is down, not loopback";
    EXPECT_EQ(names(chosen_adapters(list, "eth0")), "eth0") << "a named adapter is taken as asked";
    EXPECT_TRUE(chosen_adapters(list, "nosuch").empty());
    EXPECT_EQ(adapter_names(list), "wlan0, enp3s0, docker0, eth0, lo");
    EXPECT_EQ(adapter_names({}), "none");

    // Only a container bridge is up: it is the default, rather than none.
    std::vector<LocalAdapter> only_virtual = {adapter("eth0", "10.0.0.1", false),
                                              adapter("docker0", "172.17.0.1")};
    order_adapters(only_virtual);
    EXPECT_EQ(names(chosen_adapters(only_virtual, "")), "docker0");
    EXPECT_TRUE(chosen_adapters({adapter("lo", "127.0.0.1", true, true)}, "all").empty());
}

TEST(CliAdapterChoice, TheMachinesListIsInThatOrder) {
    const std::vector<LocalAdapter> own = list_local_adapters();
    for (std::size_t i = 1; i < own.size(); ++i)
        EXPECT_LE(adapter_rank(own[i - 1].name, own[i - 1].up, own[i - 1].loopback),
                  adapter_rank(own[i].name, own[i].up, own[i].loopback))
            << own[i - 1].name << " before " << own[i].name;
}

TEST(CliDevicesOutput, EveryAdapterSearchNamesEachDevicesAdapter) {
    std::vector<FoundDevice> d = {{"198.18.0.10", "1", "aa", "V1", "lab0"},
                                  {"198.19.0.10", "2", "bb", "V2", "lab1"},
                                  {"10.0.0.9", "3", "cc", "V3", ""}};
    EXPECT_EQ(
        devices_json(d, {{"lab0", "198.18.0.1"}, {"lab1", "198.19.0.1"}}, true),
        "{\"adapter\":\"all\",\"address\":null,\"adapters\":["
        "{\"name\":\"lab0\",\"address\":\"198.18.0.1\"},{\"name\":\"lab1\",\"address\":\"198.19.0.1\"}],"
        "\"devices\":["
        "{\"ip\":\"198.18.0.10\",\"id\":\"1\",\"mac\":\"aa\",\"version\":\"V1\",\"adapter\":\"lab0\"},"
        "{\"ip\":\"198.19.0.10\",\"id\":\"2\",\"mac\":\"bb\",\"version\":\"V2\",\"adapter\":\"lab1\"},"
        "{\"ip\":\"10.0.0.9\",\"id\":\"3\",\"mac\":\"cc\",\"version\":\"V3\",\"adapter\":null}]}\n");
    EXPECT_EQ(devices_table(d, true),
              "ADDRESS      ID  MAC  VERSION  ADAPTER\n"
              "198.18.0.10  1   aa   V1       lab0\n"
              "198.19.0.10  2   bb   V2       lab1\n"
              "10.0.0.9     3   cc   V3       -\n");
    EXPECT_EQ(devices_table(d).find("ADAPTER"), std::string::npos) << "one adapter: no column";
}

}  // namespace
}  // namespace quillon::cli
