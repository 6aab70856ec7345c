// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window's discovery link over the process's endpoint: searches and the restart on a new
// adapter, with the answers going to the device intake.
#include <functional>

#include "discovery/brelk_mul_event.h"
#include "platform/socket.h"
#include "window/discovery_link.h"

namespace quillon {

class DiscoveryRunner final : public DiscoveryLink {
public:
    // `serve_window` runs the window's pending requests; restart is called on the window
    // thread, and the receive thread may be waiting in such a request when it comes.
    // `port_in_use` tells the person when the adapter's port is taken (by another Quillon
    // program, most likely), at start-up and after a change of adapter.
    DiscoveryRunner(BrelkMulEvent& endpoint, FoundDeviceSink& intake, uint16_t port,
                    std::function<void()> serve_window, std::function<void()> port_in_use)
        : endpoint_(endpoint),
          intake_(intake),
          port_(port),
          serve_window_(std::move(serve_window)),
          port_in_use_(std::move(port_in_use)) {}

    int start(Ipv4 bind_addr) {
        const int rc = endpoint_.start(&intake_, bind_addr, port_);
        if (rc == 0 && endpoint_.local_bind_errno() == address_in_use_error() &&
            endpoint_.any_bind_errno() == address_in_use_error() && port_in_use_)
            port_in_use_();
        return rc;
    }
    void search(int both, const char* target) override { endpoint_.search(both, target); }
    int restart(Ipv4 bind_addr) override {
        endpoint_.stop(serve_window_);
        return start(bind_addr);
    }

private:
    BrelkMulEvent& endpoint_;
    FoundDeviceSink& intake_;
    uint16_t port_;
    std::function<void()> serve_window_;
    std::function<void()> port_in_use_;
};

}  // namespace quillon
