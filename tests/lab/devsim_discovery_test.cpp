// SPDX-License-Identifier: Apache-2.0
// The simulator's discovery side on loopback (directed searches only: no broadcast is ever sent
// outside a lab namespace), and the fleet it is built from.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <fstream>
#include <set>

#include "support/sim_fixture.h"

namespace quillon::labtest {
namespace {

class DevsimDiscovery : public SimFixture {};

TEST_F(DevsimDiscovery, DirectedSearchIsAnsweredByTheAddressedDeviceOnlyFromItsOwnAddress) {
    start_fleet(9);
    for (std::size_t i : {0u, 4u, 8u}) {
        auto answers = directed_search(i);
        ASSERT_EQ(answers.size(), 1u) << ips[i];
        const auto& a = answers[0];
        EXPECT_EQ(a.from, ips[i]);
        EXPECT_EQ(a.answer.ip, ips[i]);
        EXPECT_EQ(a.answer.id, devsim::default_device_id(i));
        EXPECT_EQ(a.answer.mac, devsim::mac_for(dev(i)));
        EXPECT_EQ(a.answer.version, "1.0.0");
    }
    // An address next to the fleet holds no device.
    auto past = dev(8);
    past.s_addr = htonl(ntohl(past.s_addr) + 1);
    EXPECT_TRUE(search(past, options.discovery_port, 300ms, addr("127.0.0.1")).empty());
}

TEST_F(DevsimDiscovery, AnythingButASearchRequestIsIgnored) {
    start_fleet(2);
    UniqueFd s(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = addr("127.0.0.1");
    ASSERT_EQ(::bind(s.get(), reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    sockaddr_in dst{};
    dst.sin_family = AF_INET;
    dst.sin_port = htons(options.discovery_port);
    dst.sin_addr = dev(0);
    DiscoveryAnswer other;
    other.ip = ips[1];
    const std::string bad[] = {
        build_answer(other),  // another device's acknowledgement
        "<event><active>Search</active><type>req</type></event>",
        "not xml at all",
        std::string(3000, '<'),
    };
    for (const auto& d : bad)
        ::sendto(s.get(), d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&dst), sizeof dst);
    // Then a real search from the same socket: its answer must be the only datagram.
    const std::string req = build_search_request();
    ::sendto(s.get(), req.data(), req.size(), 0, reinterpret_cast<sockaddr*>(&dst), sizeof dst);
    int datagrams = 0;
    const auto deadline = Clock::now() + 500ms;
    char buf[4096];
    while (Clock::now() < deadline) {
        pollfd p{s.get(), POLLIN, 0};
        if (::poll(&p, 1, 50) > 0 && ::recv(s.get(), buf, sizeof buf, 0) > 0) ++datagrams;
    }
    EXPECT_EQ(datagrams, 1);
    EXPECT_EQ(sim->discovery().searches(), 1u);
}

TEST(DevsimFleet, AddressesSkipNetworkAndBroadcastOctetsLikeTheLab) {
    devsim::FleetConfig fc;
    fc.first = devsim::parse_ipv4("198.18.0.10");
    fc.count = 500;
    devsim::Fleet f;
    ASSERT_EQ(f.build(fc), "");
    EXPECT_EQ(f.devices()[244].ip, "198.18.0.254");
    EXPECT_EQ(f.devices()[245].ip, "198.18.1.1");
    EXPECT_EQ(f.devices()[499].ip, "198.18.2.1");
    std::set<std::string> ids, macs;
    for (const auto& d : f.devices()) {
        ids.insert(d.id);
        macs.insert(d.mac);
    }
    EXPECT_EQ(ids.size(), 500u);
    EXPECT_EQ(macs.size(), 500u);
    EXPECT_EQ(f.find(devsim::parse_ipv4("198.18.1.1").value()), 245);
    EXPECT_EQ(f.find(devsim::parse_ipv4("198.18.0.255").value()), -1);
}

TEST(DevsimFleet, DefaultIdsWalkThroughEveryDeviceType) {
    const char* first[] = {"1019901", "01010101", "12345678901", "10001", "20001", "A123", "30000"};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(devsim::default_device_id(i), first[i]);
    // Later cycles keep each type's shape: PANEL ids have 99 in the hundreds, and so on.
    for (std::size_t cycle = 1; cycle < 400; cycle += 37) {
        const std::string panel = devsim::default_device_id(7 * cycle);
        const unsigned long long v = std::stoull(panel);
        EXPECT_EQ((v % 10000) / 100, 99u) << panel;
        EXPECT_GT(v, 30000u);
        const unsigned long long person = std::stoull(devsim::default_device_id(7 * cycle + 2));
        EXPECT_GT(person, 10000000000ull);
        EXPECT_LE(person, 1000000000000ull);
        const unsigned long long center = std::stoull(devsim::default_device_id(7 * cycle + 3));
        EXPECT_EQ(center / 10000, 1u);
        const unsigned long long wall = std::stoull(devsim::default_device_id(7 * cycle + 4));
        EXPECT_EQ(wall / 10000, 2u);
        EXPECT_FALSE(
            std::isdigit(static_cast<unsigned char>(devsim::default_device_id(7 * cycle + 5)[0])));
        EXPECT_GT(std::stoull(devsim::default_device_id(7 * cycle + 6)), 1000000000000ull);
    }
}

TEST(DevsimFleet, FleetFileAddsAndChangesDevicesAndReportsMistakesWithTheirLine) {
    char path[] = "/tmp/quillon-fleet-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    {
        std::ofstream f(path);
        f << "# test fleet\n"
          << "198.18.0.11 id=4242 version=2.0 faults=split,drop=100  # a comment\n"
          << "\n"
          << "198.18.5.1+3 mac=AA:BB:CC:DD:EE:FF next_version=9\n";
    }
    devsim::FleetConfig fc;
    fc.first = devsim::parse_ipv4("198.18.0.10");
    fc.count = 2;
    fc.fleet_file = path;
    fc.fault_options = {"198.18.5.2:fail"};
    devsim::Fleet fleet;
    ASSERT_EQ(fleet.build(fc), "");
    ASSERT_EQ(fleet.size(), 5u);
    const auto& d1 = fleet.devices()[1];
    EXPECT_EQ(d1.id, "4242");
    EXPECT_EQ(d1.version, "2.0");
    EXPECT_EQ(d1.next_version, "2.0-new");
    EXPECT_TRUE(d1.faults.split);
    EXPECT_EQ(d1.faults.drop_after, 100u);
    EXPECT_EQ(fleet.devices()[0].id, devsim::default_device_id(0));
    EXPECT_EQ(fleet.devices()[4].ip, "198.18.5.3");
    EXPECT_EQ(fleet.devices()[4].mac, "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(fleet.devices()[4].next_version, "9");
    EXPECT_TRUE(fleet.devices()[3].faults.fail);
    EXPECT_FALSE(fleet.devices()[2].faults.fail);

    {
        std::ofstream f(path);
        f << "198.18.0.10 id=1\n198.18.0.300 id=2\n";
    }
    fc.fault_options.clear();
    std::string err = fleet.build(fc);
    EXPECT_NE(err.find(":2:"), std::string::npos) << err;
    {
        std::ofstream f(path);
        f << "198.18.0.10 faults=explode\n";
    }
    err = fleet.build(fc);
    EXPECT_NE(err.find("explode"), std::string::npos) << err;
    std::remove(path);
}

TEST(DevsimFleet, FaultListsAreCheckedStrictly) {
    devsim::Faults f;
    EXPECT_EQ(devsim::parse_faults("hang", f), "");
    EXPECT_EQ(f.hang_after, 0u);
    EXPECT_EQ(devsim::parse_faults("fail-first=3 no-return, burn-ms=50", f), "");
    EXPECT_EQ(f.fail_first, 3);
    EXPECT_TRUE(f.no_return);
    EXPECT_EQ(f.burn_ms, 50);
    for (const char* bad : {"drop", "drop=x", "drop=-1", "split=1", "fail-first", "bogus"}) {
        devsim::Faults g;
        EXPECT_NE(devsim::parse_faults(bad, g), "") << bad;
    }
    devsim::FleetConfig fc;
    fc.first = devsim::parse_ipv4("198.18.0.10");
    fc.count = 1;
    fc.fault_options = {"198.18.0.99:fail"};
    devsim::Fleet fleet;
    EXPECT_NE(fleet.build(fc), "");  // not a device of the fleet
    fc.count = 0;
    fc.fault_options.clear();
    EXPECT_NE(fleet.build(fc), "");  // no devices at all
}

}  // namespace
}  // namespace quillon::labtest
