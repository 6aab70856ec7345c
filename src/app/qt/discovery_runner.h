#pragma once
// The window's discovery link over the process's endpoint: searches and the restart on a new
// adapter, with the answers going to the device intake.
#include <functional>

#include "discovery/brelk_mul_event.h"
#include "window/qt/discovery_link.h"

namespace quillon {

class DiscoveryRunner final : public DiscoveryLink {
public:
    // `serve_window` runs the window's pending requests; restart is called on the window
    // thread, and the receive thread may be waiting in such a request when it comes.
    DiscoveryRunner(BrelkMulEvent& endpoint, FoundDeviceSink& intake, uint16_t port,
                    std::function<void()> serve_window)
        : endpoint_(endpoint), intake_(intake), port_(port), serve_window_(std::move(serve_window)) {}

    int start(in_addr bind_addr) { return endpoint_.start(&intake_, bind_addr, port_); }
    void search(int both, const char* target) override { endpoint_.search(both, target); }
    int restart(in_addr bind_addr) override {
        endpoint_.stop(serve_window_);
        return endpoint_.start(&intake_, bind_addr, port_);
    }

private:
    BrelkMulEvent& endpoint_;
    FoundDeviceSink& intake_;
    uint16_t port_;
    std::function<void()> serve_window_;
};

}  // namespace quillon
