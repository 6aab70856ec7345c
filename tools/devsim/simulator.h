// SPDX-License-Identifier: Apache-2.0
#pragma once
// The whole simulated fleet: its state, the discovery and upgrade services and the record.
#include <memory>
#include <string>

#include "discovery_service.h"
#include "fleet.h"
#include "fleet_state.h"
#include "options.h"
#include "record_log.h"
#include "upgrade_service.h"

namespace quillon::devsim {

class Simulator {
public:
    Simulator(Fleet fleet, SimOptions options);
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    ~Simulator();

    // Binds every socket and starts serving. Empty text, or what went wrong (nothing runs then).
    std::string start();
    void stop();

    const Fleet& fleet() const { return fleet_; }
    FleetState& state() { return state_; }
    const DiscoveryService& discovery() const { return discovery_; }
    const UpgradeService& upgrade() const { return upgrade_; }

private:
    const Fleet fleet_;
    const SimOptions options_;
    FleetState state_;
    RecordLog log_;
    DiscoveryService discovery_;
    UpgradeService upgrade_;
};

}  // namespace quillon::devsim
