// SPDX-License-Identifier: Apache-2.0
#pragma once
// Hands every accepted discovery answer to the come-back watcher as well as to the intake.
// The intake gets each answer exactly as before, whatever its state (open, closed, conflict
// watch on): the watcher only looks. It knows the watcher only as an AnswerWatch, so that
// discovery does not depend on the engine.
#include <optional>
#include <string>
#include <vector>

#include "contract/answer_watch.h"
#include "discovery/brelk_mul_event.h"

namespace quillon {

class ComeBackTap final : public FoundDeviceSink {
public:
    ComeBackTap(FoundDeviceSink& intake, AnswerWatch& watch) : intake_(intake), watch_(watch) {}

    void add_found_device(const char* ip, const char* id, const char* mac, const char* version,
                          const char* status) override {
        watch_.answer(ip, mac, version);
        intake_.add_found_device(ip, id, mac, version, status);
    }
    void add_found_devices(const std::vector<ReceivedAnswer>& answers,
                           const char* status) override {
        auto text = [](const std::optional<std::string>& t) { return t ? t->c_str() : nullptr; };
        // The watcher first: it never waits for the window, while the intake may.
        for (const ReceivedAnswer& r : answers)
            watch_.answer(text(r.answer.ip), text(r.answer.mac), text(r.answer.version));
        intake_.add_found_devices(answers, status);
    }

private:
    FoundDeviceSink& intake_;
    AnswerWatch& watch_;
};

}  // namespace quillon
