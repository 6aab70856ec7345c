// SPDX-License-Identifier: Apache-2.0
#pragma once
// The engine's side of the intake's conflict watch: which device each running worker is
// upgrading, and the flag that fails its next image when another MAC answers for that address.
// The one adapter from the engine to the intake's WorkerWatch: both front ends and the tests use
// it.
#include "contract/worker_watch.h"
#include "engine/upgrade_engine.h"

namespace quillon {

class EngineWorkerWatch final : public WorkerWatch {
public:
    explicit EngineWorkerWatch(UpgradeEngine& engine) : engine_(engine) {}

    // Every slot: a worker without a thread is skipped by watched_device, and m_thread_num is not
    // read here because START writes it while answers may be arriving.
    int worker_count() override { return kWorkers; }
    bool watched_device(int i, Watched& out) override {
        return engine_.watched_device(i, out.ip, out.mac);
    }
    void flag_conflict(int i, const std::string& ip) override { engine_.flag_conflict(i, ip); }

private:
    UpgradeEngine& engine_;
};

}  // namespace quillon
