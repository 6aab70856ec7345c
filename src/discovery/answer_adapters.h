// SPDX-License-Identifier: Apache-2.0
#pragma once
// Several discovery endpoints, one per adapter, feeding one sink (quillon-cli --adapter all).
// Each endpoint hands its answers to its own tag sink, which notes for every device the adapter
// it answered on and passes the answers on to the shared sink, one endpoint at a time: the sink
// (the intake, the search's list) was written for one receive thread.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/brelk_mul_event.h"

namespace quillon {

class AnswerAdapters {
public:
    // `sink` must outlive this object, and every endpoint that hands answers to it must be
    // stopped before this object goes.
    explicit AnswerAdapters(FoundDeviceSink& sink);
    AnswerAdapters(const AnswerAdapters&) = delete;
    AnswerAdapters& operator=(const AnswerAdapters&) = delete;
    ~AnswerAdapters();

    // The sink for the endpoint on adapter `name`; it lives as long as this object. Called
    // before the endpoints start (not while answers arrive).
    FoundDeviceSink& sink_for(const std::string& name);

    // The adapter the device at `ip` answered on; empty when it has not answered. The first
    // answer decides, except that an answer that reached an endpoint's bound socket (it was sent
    // to that adapter's own address) outweighs one that reached a wildcard socket: a broadcast
    // answer reaches the wildcard socket of every endpoint, whichever adapter it came in by.
    std::string adapter_of(const std::string& ip) const;

private:
    class Tag;
    struct Seen {
        std::string adapter;
        bool bound = false;
    };
    void note(const std::string& adapter, const std::string& ip, bool bound);

    FoundDeviceSink& sink_;
    std::vector<std::unique_ptr<Tag>> tags_;
    // Lock order: m_pass (held while one endpoint's answers go to the sink) before m_book (a
    // leaf, held only to read or write book_).
    std::mutex m_pass;
    mutable std::mutex m_book;
    std::map<std::string, Seen> book_;
};

}  // namespace quillon
