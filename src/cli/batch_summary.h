// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a headless batch did, device by device: collected from the driver while it runs, completed
// from the device list at the end, and written as JSON or as a short table.
#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/batch_observer.h"

namespace quillon::cli {

// One image as it was loaded for the batch.
struct ImageInfo {
    int slot = 0;
    std::string path;
    uint32_t bytes = 0;  // bytes sent to each device (the trailer's length)
    uint32_t crc32 = 0;  // zlib crc32 of those bytes
    bool reboot_after = false;
};

struct DeviceSummary {
    std::string ip, mac, type;
    std::string outcome;      // "success", "failure", "not started" (and "not found", "conflict")
    int passes = 0;           // passes in which the device was tried
    double elapsed_s = 0;     // over all its passes
    unsigned slots_done = 0;  // images finished on the device in its last visit (bit = slot)
    // After the reboot: 1 back, 0 not back within the limit, -1 not checked (no success, a
    // simulated upgrade, the check off, or the wait stopped).
    int came_back = -1;
    std::string version_before{}, version_after{};
    int back_after_s = -1;  // seconds from the reboot record to its answer; -1 = not back
    // --devices-from: the device's name in the site list (empty when none). Its devices left out
    // of the batch have the outcome "not found" or "conflict".
    std::string name{};  // {}: the aggregate initialisers that end before it need none
    // The adapter the device answered discovery on; empty when it never answered.
    std::string adapter{};
};

class BatchSummary final : public BatchObserver {
public:
    // ---- BatchObserver (driver and worker threads) ----
    void images_loaded(const UpgradeEngine& engine) override;
    void pass_started(int pass, int total, bool range) override;
    void device_ended(const DeviceResult& result) override;
    void address_silent(const std::string& ip) override;
    void batch_abandoned() override;
    void device_came_back(const ComeBackResult& result) override;

    // ---- after the batch (no driver running) ----
    bool images_were_loaded() const;
    bool was_abandoned() const;  // stopped before the driver took it: nothing loaded or begun
    int passes() const;
    bool range_scan() const;
    std::vector<ImageInfo> images() const;
    std::vector<std::string> silent() const;
    // Results per row of the list that was tried at least once.
    std::map<int, DeviceSummary> tried() const;

private:
    mutable std::mutex m_;  // a leaf, taken under g_list_lock by device_ended
    bool loaded_ = false;
    bool abandoned_ = false;
    int passes_ = 0;
    bool range_ = false;
    std::vector<ImageInfo> images_;
    std::vector<std::string> silent_;
    std::map<int, DeviceSummary> rows_;
};

// The summary document. `devices` in list order.
struct SummaryDoc {
    std::string mode;  // "list" or "range"
    std::vector<ImageInfo> images;
    std::vector<DeviceSummary> devices;
    std::vector<std::string> unreachable;
    int passes = 0;
    std::string counter;      // the counter's last text, "(%3d/%-3d)" of the last pass
    bool stopped = false;     // the user asked for the graceful stop
    bool images_bad = false;  // the image set failed its check
    bool fake_burn = false;   // the devices went through the simulated upgrade: nothing was sent
    std::string report_path;
    int exit_code = 0;
    // --canary (0 = none) and --max-failed (empty = none); why one of them ended the batch.
    int canary = 0;
    std::string max_failed;
    std::string halted;
};

std::string summary_json(const SummaryDoc& doc);
std::string summary_table(const SummaryDoc& doc);
// One line per device for a site's records: address, MAC, type, outcome, passes, elapsed seconds
// and the images finished on it ("role:crc32" separated by blanks). Fields are quoted as CSV
// wants, and a field that a spreadsheet would take for a formula is prefixed with "'".
std::string summary_csv(const SummaryDoc& doc);

}  // namespace quillon::cli
