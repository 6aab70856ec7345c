// SPDX-License-Identifier: Apache-2.0
#include "discovery/discovery_endpoints.h"

namespace quillon {

DiscoveryEndpoints::DiscoveryEndpoints(BrelkMulEvent::ReadyText ready_text)
    : ready_text_(std::move(ready_text)) {}

DiscoveryEndpoints::~DiscoveryEndpoints() { stop(); }

int DiscoveryEndpoints::start(FoundDeviceSink* sink, const std::vector<Adapter>& adapters,
                              uint16_t port) {
    stop();
    if (!sink || !endpoints_.empty())
        return 0;  // started once only: searches read the list unlocked
    tags_ = std::make_unique<AnswerAdapters>(*sink);
    int listening = 0;
    for (const Adapter& a : adapters) {
        auto e = std::make_unique<BrelkMulEvent>(ready_text_);
        const bool ok = e->start(&tags_->sink_for(a.name), a.address, port) == 0 &&
                        !(e->local_bind_errno() && e->any_bind_errno());
        if (!ok) e->stop();  // the bind codes stay readable
        adapters_.push_back(a);
        endpoints_.push_back(std::move(e));
        listening_.push_back(ok);
        listening += ok ? 1 : 0;
    }
    return listening;
}

void DiscoveryEndpoints::stop() {
    for (auto& e : endpoints_) e->stop();
}

void DiscoveryEndpoints::search(int both, const char* target) {
    if (endpoints_.size() == 1) {
        if (listening_[0]) endpoints_[0]->search(both, target);
        return;
    }
    const std::string known = target ? adapter_of(target) : std::string();
    for (std::size_t i = 0; i < endpoints_.size(); ++i) {
        if (!listening_[i] || (!known.empty() && adapters_[i].name != known)) continue;
        endpoints_[i]->search(0, target);
    }
}

std::string DiscoveryEndpoints::adapter_of(const std::string& ip) const {
    return tags_ ? tags_->adapter_of(ip) : std::string();
}

}  // namespace quillon
