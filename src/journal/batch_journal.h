// SPDX-License-Identifier: Apache-2.0
#pragma once
// The batch journal: one JSON object per line and per event of a batch, in the log folder, each
// line whole and on the disk before the batch goes on, so that a batch that dies (a kill, a
// power cut) leaves a record of which devices are done. One file per batch; the newest 20 are
// kept. Lines, by their "event":
//   batch_start     id, time, utc, continues, images, settings, adapter, devices (ticked at START)
//   device_taken    pass, worker, row, ip, mac
//   image_finished  pass, row, ip, mac, slot, success
//   device_end      pass, row, ip, mac, success, slots, elapsed_s
//   device_came_back row, ip, mac, checked, came_back, version_before, version_after, seconds
//   batch_rule      rule, outcome, halts, pass, rows, why (a canary's verdict, a threshold passed)
//   batch_end       time, passes, stopped
// A journal without its batch_end line is an unfinished batch (journal_doc.h reads them back).
#include <mutex>
#include <string>

#include "engine/batch_observer.h"
#include "platform/durable_file.h"

namespace quillon {

class BatchJournal final : public BatchObserver {
public:
    // Journals go into `folder` (the log folder); it must exist.
    explicit BatchJournal(std::string folder);

    // Before the batch: what its start line records besides the engine's settings.
    void set_adapter(const std::string& name, const std::string& address);
    // The next batch resumes the journal with this file name (quillon-cli upgrade --resume).
    void set_continues(const std::string& file_name);
    // Before the batch: the rules its start line records in its settings (quillon-cli --canary
    // and --max-failed): canary 0 = none, max_failed empty = none.
    void set_rules(int canary, const std::string& max_failed);

    // The journal of the batch under way, or of the last one; empty before the first.
    std::string path() const;
    // False once a line could not be written whole and forced to the disk (or the file could
    // not be created).
    bool ok() const;

    // ---- BatchObserver ----
    // Driver thread: a new journal and its start line. Reads the ticked rows through the
    // engine's window (the driver may call it; no lock is held).
    void images_loaded(const UpgradeEngine& engine) override;
    void device_taken(const DeviceTaken& device) override;
    void image_finished(const ImageFinished& image) override;
    // Under g_list_lock: the journal's own lock nests inside it and takes nothing else.
    void device_ended(const DeviceResult& result) override;
    void device_came_back(const ComeBackResult& result) override;
    void rule_decided(const BatchRuleEvent& event) override;
    void batch_ended(const BatchEnded& end) override;

private:
    // Writes one line and forces it out (m_ held).
    void write_line(const std::string& json);

    mutable std::mutex m_;  // owner: this journal; a leaf (nothing is taken while it is held)
    std::string folder_;
    std::string adapter_, adapter_address_;
    std::string continues_;
    int canary_ = 0;
    std::string max_failed_;
    std::string path_;
    DurableFile file_;
    bool ok_ = true;
};

}  // namespace quillon
