#pragma once
// The window's discovery link over the process's endpoint: searches and the restart on a new
// adapter, with the answers going to the device intake.
#include "discovery/brelk_mul_event.h"
#include "window/qt/discovery_link.h"

namespace quillon {

class DiscoveryRunner final : public DiscoveryLink {
public:
    DiscoveryRunner(BrelkMulEvent& endpoint, FoundDeviceSink& intake, uint16_t port)
        : endpoint_(endpoint), intake_(intake), port_(port) {}

    int start(in_addr bind_addr) { return endpoint_.start(&intake_, bind_addr, port_); }
    void search(int both, const char* target) override { endpoint_.search(both, target); }
    int restart(in_addr bind_addr) override {
        endpoint_.stop();
        return endpoint_.start(&intake_, bind_addr, port_);
    }

private:
    BrelkMulEvent& endpoint_;
    FoundDeviceSink& intake_;
    uint16_t port_;
};

}  // namespace quillon
