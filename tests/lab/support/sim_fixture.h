// SPDX-License-Identifier: Apache-2.0
#pragma once
// A simulated fleet in the test's own process, on loopback addresses 127.A.B.10 and up (A and B
// random per process so that parallel runs keep apart) and on free ports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "lab_client.h"
#include "simulator.h"

namespace quillon::labtest {

class SimFixture : public ::testing::Test {
protected:
    // Call from the test body with the fleet it needs; faults as "INDEX:LIST" pairs of the
    // devices counted from 0.
    void start_fleet(std::size_t count,
                     std::vector<std::pair<std::size_t, std::string>> faults = {},
                     devsim::SimOptions opts = fast_options()) {
        static std::mt19937 rng(static_cast<unsigned>(::getpid()) ^
                                static_cast<unsigned>(Clock::now().time_since_epoch().count()));
        const std::string base = "127." + std::to_string(64 + rng() % 128) + "." +
                                 std::to_string(rng() % 250) + ".";
        devsim::FleetConfig fc;
        fc.first = devsim::parse_ipv4(base + "10");
        fc.count = count;
        fc.version = "1.0.0";
        for (auto& [i, list] : faults)
            fc.fault_options.push_back(base + std::to_string(10 + i) + ":" + list);
        devsim::Fleet fleet;
        ASSERT_EQ(fleet.build(fc), "");
        for (const auto& d : fleet.devices()) ips.push_back(d.ip);

        char tmpl[] = "/tmp/quillon-devsim-record-XXXXXX";
        const int fd = ::mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        ::close(fd);
        record = tmpl;
        opts.record_path = record;
        opts.upgrade_port = free_port();
        opts.discovery_port = free_port();
        ASSERT_NE(opts.upgrade_port, 0);
        ASSERT_NE(opts.discovery_port, 0);
        options = opts;
        sim = std::make_unique<devsim::Simulator>(std::move(fleet), opts);
        ASSERT_EQ(sim->start(), "");
    }

    static devsim::SimOptions fast_options() {
        devsim::SimOptions o;
        o.burn_ms = 20;
        o.reboot_ms = 600;
        o.split_pause_ms = 1;
        o.idle_timeout_ms = 10000;
        return o;
    }

    void TearDown() override {
        if (sim) sim->stop();
        sim.reset();
        if (!record.empty()) std::remove(record.c_str());
    }

    in_addr dev(std::size_t i) const { return addr(ips.at(i)); }

    // Sends `img` (the first `bytes` data bytes, all when omitted) to device i; the records.
    std::vector<DevRecord> upgrade(std::size_t i, const Image& img, UpgradeClient& c,
                                   std::optional<std::size_t> bytes = std::nullopt) {
        EXPECT_EQ(c.connect(dev(i), options.upgrade_port, 2000ms), ConnectResult::connected);
        EXPECT_TRUE(c.send_image(img, bytes.value_or(img.data.size())));
        return c.read_until_finish(20s);
    }

    std::vector<Answer> directed_search(std::size_t i, std::chrono::milliseconds window = 300ms) {
        return search(dev(i), options.discovery_port, window, addr("127.0.0.1"));
    }

    std::unique_ptr<devsim::Simulator> sim;
    devsim::SimOptions options;
    std::vector<std::string> ips;
    std::string record;
};

// The records' texts in order, unknown codes left out.
inline std::vector<std::string> known(const std::vector<DevRecord>& rs) {
    std::vector<std::string> out;
    for (const auto& r : rs)
        if (r.cmd >= 1 && r.cmd <= 3) out.push_back(r.text());
    return out;
}

inline std::vector<std::string> normal_sequence(uint32_t finish) {
    std::vector<std::string> s;
    for (int p = 10; p <= 100; p += 10) s.push_back("S" + std::to_string(p));
    for (int p = 0; p <= 100; p += 10) s.push_back("B" + std::to_string(p));
    s.push_back("F" + std::to_string(finish));
    return s;
}

}  // namespace quillon::labtest
