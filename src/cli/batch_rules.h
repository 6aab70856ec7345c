// SPDX-License-Identifier: Apache-2.0
#pragma once
// quillon-cli upgrade --canary N and --max-failed N|P%: the rules in force for a batch (from the
// command line, else from the batch that --resume continues), put to work on the engine, and
// what they decided, for the console, the journal and the summary.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/canary_wave.h"
#include "engine/failure_threshold.h"

namespace quillon {
class ObserverFan;
class UpgradeEngine;
struct JournalDoc;
}  // namespace quillon

namespace quillon::cli {

struct UpgradeOptions;

struct RuleSettings {
    int canary = 0;                          // devices of the canary wave; 0 = none
    std::optional<FailureLimit> max_failed;  // none = no threshold
    std::string max_failed_text() const { return max_failed ? max_failed->text() : std::string(); }
};

// The rules of this batch: what the command line gives wins; a resumed batch keeps the rules of
// the one it continues, except a canary that already passed there. `resumed` is null unless
// --resume. Notes for the person go to `say`. False (with `error`) on a --max-failed text that
// is no limit (the command line's checks refuse it before).
bool choose_rules(const UpgradeOptions& opt, const JournalDoc* resumed, RuleSettings& out,
                  std::string& error, const std::function<void(const std::string&)>& say);

class BatchRules {
public:
    using Say = std::function<void(const std::string&)>;
    // `stop` asks for the graceful stop (the threshold's). It is called on a worker thread under
    // g_list_lock: it may set flags and hand work on to another thread, nothing more.
    BatchRules(RuleSettings settings, Say say, std::function<void(const std::string&)> stop);

    // Before the driver starts: the canary becomes the engine's first wave, both watch the batch
    // through `fan`, and every decision is told to `fan` (the journal, the summary) and the
    // person. The fan's other observers must have been added already or be added after; events
    // reach them all the same.
    void attach(UpgradeEngine& engine, ObserverFan& fan);

    const RuleSettings& settings() const { return settings_; }
    // After the batch: why a rule ended it, empty when none did.
    std::string halted() const;

private:
    RuleSettings settings_;
    Say say_;
    std::function<void(const std::string&)> stop_;
    ObserverFan* fan_ = nullptr;
    std::unique_ptr<CanaryWave> canary_;
    std::unique_ptr<FailureThreshold> threshold_;
};

}  // namespace quillon::cli
