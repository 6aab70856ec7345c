// SPDX-License-Identifier: Apache-2.0
#include "engine/canary_wave.h"

#include "contract/window_port.h"

namespace quillon {
namespace {

std::string devices_text(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " device" : " devices");
}

}  // namespace

CanaryWave::CanaryWave(int devices, Decided decided)
    : devices_(devices < 1 ? 1 : devices), decided_(std::move(decided)) {}

bool CanaryWave::hold_back(WindowPort& dlg) {
    std::vector<WaveDevice> wave;
    std::vector<int> held;
    const int rows = dlg.row_count();
    for (int r = 0; r < rows; ++r) {
        if (!dlg.get_check(r)) continue;
        if (int(wave.size()) < devices_) {
            WaveDevice d;
            d.row = r;
            d.ip = dlg.device_text(r, DeviceField::ip);
            wave.push_back(std::move(d));
        } else {
            held.push_back(r);
        }
    }
    {
        std::lock_guard l(m_);
        decision_.reset();
        in_wave_ = false;
        wave_.clear();
        by_row_.clear();
        held_.clear();
    }
    if (held.empty()) {
        // Nothing would wait for the canary: the devices there are go as one batch.
        BatchRuleEvent e;
        e.rule = "canary";
        e.outcome = "whole batch";
        e.why = "canary of " + std::to_string(devices_) + ": the batch has only " +
                devices_text(wave.size()) + ", so they are upgraded as one batch without a canary";
        decide(std::move(e));
        return false;
    }
    for (int r : held) dlg.set_check(r, false);
    std::lock_guard l(m_);
    wave_ = std::move(wave);
    for (std::size_t i = 0; i < wave_.size(); ++i) by_row_[wave_[i].row] = i;
    held_ = std::move(held);
    in_wave_ = true;
    return true;
}

void CanaryWave::device_ended(const DeviceResult& r) {
    std::lock_guard l(m_);
    if (!in_wave_) return;
    auto it = by_row_.find(r.row);
    if (it == by_row_.end()) return;
    WaveDevice& d = wave_[it->second];
    d.ended = true;
    d.success = r.success;
}

void CanaryWave::device_came_back(const ComeBackResult& r) {
    std::lock_guard l(m_);
    if (!in_wave_) return;
    auto it = by_row_.find(r.row);
    if (it == by_row_.end()) return;
    // A device left unchecked (the wait was stopped) is not back as far as anyone knows.
    wave_[it->second].back = r.checked && r.came_back;
}

std::string CanaryWave::faults(bool checked) const {
    std::string out;
    for (const WaveDevice& d : wave_) {
        std::string what;
        if (!d.ended)
            what = "not upgraded";
        else if (!d.success)
            what = "failed";
        else if (checked && !d.back)
            what = "not seen back (no result of the come-back check)";
        else if (checked && !*d.back)
            what = "not back";
        if (what.empty()) continue;
        if (!out.empty()) out += ", ";
        out += d.ip + " " + what;
    }
    return out;
}

bool CanaryWave::release(WindowPort& dlg, bool checked) {
    BatchRuleEvent e;
    e.rule = "canary";
    std::vector<int> held;
    {
        std::lock_guard l(m_);
        in_wave_ = false;
        for (const WaveDevice& d : wave_) e.rows.push_back(d.row);
        held = held_;
        const std::string bad = faults(checked);
        const std::string n = std::to_string(wave_.size());
        if (bad.empty()) {
            e.outcome = "passed";
            e.why = checked
                        ? "canary passed: " + n + " of " + n + " upgraded and back; the other " +
                              devices_text(held.size()) + " follow"
                        : "canary passed: " + n + " of " + n +
                              " upgraded; the come-back check "
                              "is off, so none was seen back (judged by the upgrade alone); the "
                              "other " +
                              devices_text(held.size()) + " follow";
        } else {
            e.outcome = "failed";
            e.halts = true;
            e.why = "canary failed: " + bad + "; the other " + devices_text(held.size()) +
                    " were not touched";
        }
    }
    const bool passed = !e.halts;
    // Ticked again before the decision is told: whoever hears it finds the list as it now is.
    if (passed)
        for (int r : held) dlg.set_check(r, true);
    decide(std::move(e));
    return passed;
}

void CanaryWave::decide(BatchRuleEvent event) {
    {
        std::lock_guard l(m_);
        decision_ = event;
    }
    if (decided_) decided_(event);
}

std::optional<BatchRuleEvent> CanaryWave::decision() const {
    std::lock_guard l(m_);
    return decision_;
}

bool CanaryWave::in_wave() const {
    std::lock_guard l(m_);
    return in_wave_;
}

}  // namespace quillon
