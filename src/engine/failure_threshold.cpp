// SPDX-License-Identifier: Apache-2.0
#include "engine/failure_threshold.h"

namespace quillon {

std::string FailureLimit::text() const { return std::to_string(count) + (percent ? "%" : ""); }

int FailureLimit::allowed(int total) const {
    if (!percent) return count;
    // P % of the pass, rounded down: more than that is too many.
    return total <= 0 ? 0 : int((int64_t(total) * count) / 100);
}

bool FailureLimit::exceeded(int failed, int total) const {
    if (!percent) return failed > count;
    // failed / total > P / 100, without rounding.
    return int64_t(failed) * 100 > int64_t(count) * total;
}

std::optional<FailureLimit> parse_failure_limit(const std::string& text, std::string& error) {
    FailureLimit l;
    std::string digits = text;
    if (!digits.empty() && digits.back() == '%') {
        l.percent = true;
        digits.pop_back();
    }
    if (digits.empty() || digits.size() > 6 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        error = "'" + text + "' is neither a number of devices (N) nor a share of them (P%)";
        return std::nullopt;
    }
    l.count = std::stoi(digits);
    if (l.percent && l.count > 100) {
        error = "'" + text + "': a share is at most 100%";
        return std::nullopt;
    }
    return l;
}

FailureThreshold::FailureThreshold(FailureLimit limit, Reached reached)
    : limit_(limit), reached_(std::move(reached)) {}

void FailureThreshold::images_loaded(const UpgradeEngine& /*engine*/) {
    std::lock_guard l(m_);
    event_.reset();
    pass_ = 0;
    total_ = 0;
    failed_ = 0;
}

void FailureThreshold::pass_started(int pass, int total, bool /*range*/) {
    std::lock_guard l(m_);
    pass_ = pass;
    total_ = total;
    failed_ = 0;
}

void FailureThreshold::device_ended(const DeviceResult& r) {
    if (r.success) return;
    BatchRuleEvent e;
    {
        std::lock_guard l(m_);
        ++failed_;
        if (event_ || !limit_.exceeded(failed_, total_)) return;
        e.rule = "max_failed";
        e.outcome = "reached";
        e.halts = true;
        e.pass = pass_;
        e.why = "max-failed " + limit_.text() + " reached: " + std::to_string(failed_) + " of " +
                std::to_string(total_) + " devices failed in pass " + std::to_string(pass_ + 1) +
                " (" + std::to_string(limit_.allowed(total_)) +
                " allowed); the devices in hand finish, none begins, no retry pass runs";
        event_ = e;
    }
    if (reached_) reached_(e);
}

std::optional<BatchRuleEvent> FailureThreshold::reached() const {
    std::lock_guard l(m_);
    return event_;
}

}  // namespace quillon
