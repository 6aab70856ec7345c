// SPDX-License-Identifier: Apache-2.0
#pragma once
// Discovery on one adapter or on several at once: one BrelkMulEvent per adapter, all handing
// their answers to one sink through AnswerAdapters, so that every device's adapter is known.
// It sends as the single endpoint does (search(int, const char*)), so the engine's
// SearchSenderFor takes it as it takes one BrelkMulEvent.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/answer_adapters.h"
#include "discovery/brelk_mul_event.h"
#include "platform/ipv4.h"

namespace quillon {

class DiscoveryEndpoints {
public:
    struct Adapter {
        std::string name;
        Ipv4 address{};
    };

    explicit DiscoveryEndpoints(BrelkMulEvent::ReadyText ready_text = {});
    DiscoveryEndpoints(const DiscoveryEndpoints&) = delete;
    DiscoveryEndpoints& operator=(const DiscoveryEndpoints&) = delete;
    ~DiscoveryEndpoints();  // stops every endpoint

    // Starts one endpoint per adapter on `port`, every one handing its answers to `sink`.
    // Called once, before any search. An endpoint that cannot listen (its start fails, or
    // neither of its sockets could bind) is stopped again and left out; listening(i) tells.
    // Returns the number of endpoints that listen.
    int start(FoundDeviceSink* sink, const std::vector<Adapter>& adapters, uint16_t port);
    // After stop returns no answer reaches the sink.
    void stop();

    // With one adapter: exactly BrelkMulEvent::search. With several: a broadcast goes out once
    // on every adapter, through each endpoint's bound socket (which the system sends by that
    // adapter; the wildcard sockets would all leave by the same route); a request to a device
    // goes through the endpoint of the adapter it answered on, or through every endpoint while
    // it has not answered. Callable from any thread between start and the destructor.
    void search(int both, const char* target = nullptr);

    std::size_t size() const { return endpoints_.size(); }
    const Adapter& adapter(std::size_t i) const { return adapters_[i]; }
    const BrelkMulEvent& endpoint(std::size_t i) const { return *endpoints_[i]; }
    bool listening(std::size_t i) const { return listening_[i]; }
    // Name of the adapter the device at `ip` answered on; empty while it has not answered.
    std::string adapter_of(const std::string& ip) const;

private:
    BrelkMulEvent::ReadyText ready_text_;
    std::unique_ptr<AnswerAdapters> tags_;  // before the endpoints: they go first
    // Fixed by start (the only writer, before any search): searches read them without a lock.
    std::vector<Adapter> adapters_;
    std::vector<std::unique_ptr<BrelkMulEvent>> endpoints_;
    std::vector<bool> listening_;
};

}  // namespace quillon
