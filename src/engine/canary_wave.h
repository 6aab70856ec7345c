// SPDX-License-Identifier: Apache-2.0
#pragma once
// The canary of a batch (quillon-cli --canary N): the first N ticked rows, in list order, are
// upgraded alone in one pass, and the other rows follow only when every one of the N succeeded
// and came back after its reboot. When the come-back check does not run in the batch (turned
// off, or a simulated upgrade), "came back" cannot be known: the wave is judged by its upgrades
// alone, and its decision says so. A batch of no more than N devices has no wave: it runs as
// one batch, and that is said too.
//
// It watches the batch for the wave's results (BatchObserver; add it to the engine's observers)
// and decides as the engine's first wave (FirstWave).
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/batch_observer.h"
#include "engine/first_wave.h"

namespace quillon {

class CanaryWave final : public BatchObserver, public FirstWave {
public:
    using Decided = std::function<void(const BatchRuleEvent&)>;
    // `devices`: N, at least 1. `decided` is told every decision on the driver thread; it must
    // not call the window.
    CanaryWave(int devices, Decided decided);

    // ---- FirstWave (driver thread) ----
    bool hold_back(WindowPort& dlg) override;
    bool release(WindowPort& dlg, bool checked) override;

    // ---- BatchObserver ----
    void device_ended(const DeviceResult& result) override;
    void device_came_back(const ComeBackResult& result) override;

    int devices() const { return devices_; }
    // The last decision of the batch; none when the batch ended before the wave was judged
    // (stopped on request during it, or no batch yet).
    std::optional<BatchRuleEvent> decision() const;
    // True from hold_back until release: the wave is under way.
    bool in_wave() const;

private:
    struct WaveDevice {
        int row = 0;
        std::string ip;      // the row's address at START, for the texts
        bool ended = false;  // its end came
        bool success = false;
        std::optional<bool> back;  // the come-back check's result, when it had one
    };
    // Why the wave did not pass, device by device ("198.18.0.11 failed, ..."); empty when it
    // passed (m_ held).
    std::string faults(bool checked) const;
    void decide(BatchRuleEvent event);

    const int devices_;
    const Decided decided_;
    mutable std::mutex m_;  // owner: this wave; a leaf, taken under g_list_lock by device_ended
    std::vector<WaveDevice> wave_;  // in list order
    std::map<int, std::size_t> by_row_;
    std::vector<int> held_;  // rows held back, in list order
    bool in_wave_ = false;
    std::optional<BatchRuleEvent> decision_;
};

}  // namespace quillon
