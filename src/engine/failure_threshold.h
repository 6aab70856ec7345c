// SPDX-License-Identifier: Apache-2.0
#pragma once
// The halt threshold of a batch (quillon-cli --max-failed N or P%): once more devices than that
// have failed in the pass under way, the batch is to stop as STOP stops it (the devices in hand
// finish, none begins, no retry pass runs). It counts the failures of each pass as an observer
// of the batch; the stop itself is asked for through `reached`, by whoever owns the running flag.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "engine/batch_observer.h"

namespace quillon {

// N devices, or P per cent of the devices of the pass.
struct FailureLimit {
    int count = 0;         // N: the failures allowed (when percent is false)
    bool percent = false;  // count is P, 0 to 100
    // "2" or "10%", as parse_failure_limit reads it.
    std::string text() const;
    // More devices than allowed have failed: `failed` of the `total` devices of a pass.
    bool exceeded(int failed, int total) const;
    // The failures a pass of `total` devices allows.
    int allowed(int total) const;
};

// "N" (0 or more) or "P%" (0 to 100, whole numbers); blanks around are not allowed. Empty
// optional with `error` set otherwise.
std::optional<FailureLimit> parse_failure_limit(const std::string& text, std::string& error);

class FailureThreshold final : public BatchObserver {
public:
    using Reached = std::function<void(const BatchRuleEvent&)>;
    // `reached` is told once per batch, on the worker thread of the failure that went over the
    // limit, under g_list_lock: it may only set flags or hand work on (no window call, no wait).
    FailureThreshold(FailureLimit limit, Reached reached);

    void images_loaded(const UpgradeEngine& engine) override;
    void pass_started(int pass, int total, bool range) override;
    void device_ended(const DeviceResult& result) override;

    const FailureLimit& limit() const { return limit_; }
    // The event told, when the limit was passed in the last batch.
    std::optional<BatchRuleEvent> reached() const;

private:
    const FailureLimit limit_;
    const Reached reached_;
    mutable std::mutex m_;  // owner: this threshold; a leaf, taken under g_list_lock
    int pass_ = 0;
    int total_ = 0;   // devices (range: addresses) of the pass
    int failed_ = 0;  // failed in the pass
    std::optional<BatchRuleEvent> event_;
};

}  // namespace quillon
