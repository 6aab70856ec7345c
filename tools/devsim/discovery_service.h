// SPDX-License-Identifier: Apache-2.0
#pragma once
// The devices' side of the discovery exchange. One UDP socket on the wildcard address serves the
// whole fleet: IP_PKTINFO tells the destination of each search (one device's address, or a
// broadcast), and every answer is sent with its device's address as the source.
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "fleet_state.h"
#include "options.h"
#include "platform/unique_fd.h"

namespace quillon::devsim {

class DiscoveryService {
public:
    DiscoveryService(FleetState& state, const SimOptions& options);
    DiscoveryService(const DiscoveryService&) = delete;
    DiscoveryService& operator=(const DiscoveryService&) = delete;
    ~DiscoveryService();

    // Binds the socket and starts the thread. Empty text, or what went wrong.
    std::string start();
    void stop();

    uint64_t searches() const { return searches_.load(); }
    uint64_t answers() const { return answers_.load(); }

private:
    void run();

    FleetState& state_;
    const SimOptions& options_;
    UniqueFd sock_;
    UniqueFd wake_;  // eventfd: stop() makes it readable
    std::thread thread_;
    std::atomic<uint64_t> searches_{0};
    std::atomic<uint64_t> answers_{0};
};

}  // namespace quillon::devsim
