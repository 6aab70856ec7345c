// SPDX-License-Identifier: Apache-2.0
#pragma once
// What became of each device of a batch, gathered from the driver's reports, and the report's
// SUMMARY lines written from it when the batch ends: before the end message, so the report the
// window opens at the end of the batch ends with what needs attention. The desktop program adds
// one to the engine's observers; the headless tool makes its lines from its own summary, which
// also knows the devices of a site list that were not found.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/batch_observer.h"
#include "engine/summary_lines.h"

namespace quillon {

class LogFile;

class BatchOutcomes final : public BatchObserver {
public:
    explicit BatchOutcomes(LogFile& report) : report_(report) {}

    // Driver thread: a new batch. List mode: the rows ticked at START are its devices, read
    // through the engine's window (the driver may call it; no lock is held).
    void images_loaded(const UpgradeEngine& engine) override;
    // Under g_list_lock: the own lock nests inside it and takes nothing else.
    void device_ended(const DeviceResult& result) override;
    void device_came_back(const ComeBackResult& result) override;
    // Driver thread, before the end message: the SUMMARY lines into the report.
    void batch_ended(const BatchEnded& end) override;

    // The devices of the last batch in list order.
    std::vector<DeviceOutcome> outcomes() const;

private:
    struct Device {
        std::string ip, mac;
        bool tried = false, success = false;
        int passes = 0;
        unsigned slots_done = 0;
        int came_back = -1;  // 1 back, 0 not back, -1 not checked
        int seconds = -1;
        std::string version_before, version_after;
    };

    mutable std::mutex m_;  // owner: this object; a leaf
    LogFile& report_;
    unsigned loaded_slots_ = 0;   // bit = slot
    std::map<int, Device> rows_;  // by row: the list's order
};

}  // namespace quillon
