// SPDX-License-Identifier: Apache-2.0
#include "discovery/answer_adapters.h"

namespace quillon {

class AnswerAdapters::Tag final : public FoundDeviceSink {
public:
    Tag(AnswerAdapters& owner, std::string name) : owner_(owner), name_(std::move(name)) {}

    void add_found_device(const char* ip, const char* id, const char* mac, const char* version,
                          const char* status) override {
        std::lock_guard pass(owner_.m_pass);
        if (ip) owner_.note(name_, ip, false);
        owner_.sink_.add_found_device(ip, id, mac, version, status);
    }
    void add_found_devices(const std::vector<ReceivedAnswer>& answers,
                           const char* status) override {
        std::lock_guard pass(owner_.m_pass);
        for (const ReceivedAnswer& r : answers)
            if (r.answer.ip) owner_.note(name_, *r.answer.ip, r.on_bound_socket);
        owner_.sink_.add_found_devices(answers, status);
    }

private:
    AnswerAdapters& owner_;
    const std::string name_;
};

AnswerAdapters::AnswerAdapters(FoundDeviceSink& sink) : sink_(sink) {}

AnswerAdapters::~AnswerAdapters() = default;

FoundDeviceSink& AnswerAdapters::sink_for(const std::string& name) {
    tags_.push_back(std::make_unique<Tag>(*this, name));
    return *tags_.back();
}

void AnswerAdapters::note(const std::string& adapter, const std::string& ip, bool bound) {
    std::lock_guard lock(m_book);
    auto [it, added] = book_.try_emplace(ip, Seen{adapter, bound});
    if (!added && !it->second.bound && bound) it->second = Seen{adapter, true};
}

std::string AnswerAdapters::adapter_of(const std::string& ip) const {
    std::lock_guard lock(m_book);
    auto it = book_.find(ip);
    return it == book_.end() ? std::string() : it->second.adapter;
}

}  // namespace quillon
