// SPDX-License-Identifier: Apache-2.0
#include "engine/batch_outcomes.h"

#include "engine/upgrade_engine.h"
#include "contract/window_port.h"

namespace quillon {

void BatchOutcomes::images_loaded(const UpgradeEngine& e) {
    // Read before the lock: the window is never called under it.
    std::map<int, Device> chosen;
    WindowPort* dlg = e.window();
    const int rows = dlg ? dlg->row_count() : 0;
    // A range pass adds its rows as addresses answer; device_ended brings them.
    if (!(e.settings().ip_scan && rows == 0)) {
        for (int r = 0; r < rows; ++r) {
            if (!dlg->get_check(r)) continue;
            Device& d = chosen[r];
            d.ip = dlg->device_text(r, DeviceField::ip);
            d.mac = dlg->device_text(r, DeviceField::mac);
        }
    }
    unsigned loaded = 0;
    for (int j = 0; j < kSlots; ++j)
        if (e.loaded_image(j).len != 0) loaded |= 1u << j;
    std::lock_guard l(m_);
    rows_ = std::move(chosen);
    loaded_slots_ = loaded;
}

void BatchOutcomes::device_ended(const DeviceResult& r) {
    std::lock_guard l(m_);
    Device& d = rows_[r.row];
    d.ip = r.ip;
    if (!r.mac.empty()) d.mac = r.mac;
    d.tried = true;
    d.success = r.success;
    d.passes += 1;
    d.slots_done = r.slots_done;
}

void BatchOutcomes::device_came_back(const ComeBackResult& r) {
    std::lock_guard l(m_);
    auto it = rows_.find(r.row);
    if (it == rows_.end() || !r.checked) return;
    Device& d = it->second;
    d.came_back = r.came_back ? 1 : 0;
    d.seconds = r.seconds;
    d.version_before = r.version_before;
    d.version_after = r.version_after;
}

std::vector<DeviceOutcome> BatchOutcomes::outcomes() const {
    std::lock_guard l(m_);
    std::vector<DeviceOutcome> out;
    for (const auto& [row, d] : rows_) {
        DeviceOutcome o;
        o.ip = d.ip;
        o.mac = d.mac;
        if (!d.tried) {
            o.kind = OutcomeKind::not_started;
        } else if (!d.success) {
            o.kind = OutcomeKind::failed;
            o.failed_slot = failed_slot_of(loaded_slots_, d.slots_done);
            o.passes = d.passes;
        } else if (d.came_back == 0) {
            o.kind = OutcomeKind::not_back;
            o.seconds = d.seconds;
        } else if (d.came_back == 1 && !d.version_before.empty() &&
                   d.version_after == d.version_before) {
            // Back with the version it had: the new image did not boot. (A device that tells no
            // version tells nothing either way.)
            o.kind = OutcomeKind::back_old_version;
            o.version = d.version_after;
        } else {
            o.kind = d.came_back == 1 ? OutcomeKind::upgraded_back
                                      : OutcomeKind::upgraded_unchecked;
        }
        out.push_back(std::move(o));
    }
    return out;
}

void BatchOutcomes::batch_ended(const BatchEnded& /*end*/) {
    write_summary_lines(report_, outcomes());
}

}  // namespace quillon
