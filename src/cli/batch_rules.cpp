// SPDX-License-Identifier: Apache-2.0
#include "cli/batch_rules.h"

#include "cli/upgrade_options.h"
#include "engine/observer_fan.h"
#include "engine/upgrade_engine.h"
#include "journal/journal_doc.h"

namespace quillon::cli {

bool choose_rules(const UpgradeOptions& opt, const JournalDoc* resumed, RuleSettings& out,
                  std::string& error, const std::function<void(const std::string&)>& say) {
    out = RuleSettings{};
    if (opt.canary_given) {
        out.canary = opt.canary;
    } else if (resumed && resumed->canary > 0) {
        if (resumed->canary_passed) {
            say("The canary of the batch resumed passed: its other devices go on without one");
        } else {
            out.canary = resumed->canary;
            say("Canary of " + std::to_string(out.canary) + " from the batch resumed: the first " +
                std::to_string(out.canary) + " of the devices still to do go first, alone");
        }
    }
    std::string text = opt.max_failed;
    if (text.empty() && resumed && !resumed->max_failed.empty()) {
        text = resumed->max_failed;
        say("--max-failed " + text + " from the batch resumed");
    }
    if (!text.empty()) {
        out.max_failed = parse_failure_limit(text, error);
        if (!out.max_failed) return false;
    }
    if (out.canary > 0)
        say("Canary: the first " + std::to_string(out.canary) + " device" +
            (out.canary == 1 ? "" : "s") + " alone; the others only once " +
            (out.canary == 1 ? "it has" : "all have") + " been upgraded and come back");
    return true;
}

BatchRules::BatchRules(RuleSettings settings, Say say, std::function<void(const std::string&)> stop)
    : settings_(std::move(settings)), say_(std::move(say)), stop_(std::move(stop)) {}

void BatchRules::attach(UpgradeEngine& engine, ObserverFan& fan) {
    fan_ = &fan;
    if (settings_.canary > 0) {
        // The driver thread: the person hears it at once.
        canary_ = std::make_unique<CanaryWave>(settings_.canary, [this](const BatchRuleEvent& e) {
            fan_->rule_decided(e);
            say_(e.why);
        });
        fan.add(canary_.get());
        engine.set_first_wave(canary_.get());
    }
    if (settings_.max_failed) {
        // Under g_list_lock: the journal's and the summary's locks nest inside it; the person
        // hears it from the thread that stops the batch.
        threshold_ = std::make_unique<FailureThreshold>(*settings_.max_failed,
                                                        [this](const BatchRuleEvent& e) {
                                                            fan_->rule_decided(e);
                                                            stop_(e.why);
                                                        });
        fan.add(threshold_.get());
    }
}

std::string BatchRules::halted() const {
    if (threshold_)
        if (auto e = threshold_->reached()) return e->why;
    if (canary_)
        if (auto e = canary_->decision(); e && e->halts) return e->why;
    return std::string();
}

}  // namespace quillon::cli
