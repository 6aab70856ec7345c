// SPDX-License-Identifier: Apache-2.0
#include "app/qt/upgrade_engine_link.h"

#include "window/device_words.h"

namespace quillon {

void UpgradeEngineLink::start_batch(const BatchSettings& s) { engine_.start_batch(s); }

std::string UpgradeEngineLink::worker_status(int w) {
    return worker_status_text(engine_.worker(w).status);
}

int UpgradeEngineLink::img_percent(int w) { return engine_.worker(w).img_percent; }

int UpgradeEngineLink::dev_percent(int w) { return engine_.worker(w).dev_percent; }

void UpgradeEngineLink::arm_conflict_probe(const std::string& ip, const std::string& mac) {
    engine_.arm_conflict_probe(ip, mac);
}

bool UpgradeEngineLink::take_conflict(std::string& ip, std::string& mac) {
    return engine_.take_conflict(ip, mac);
}

}  // namespace quillon
