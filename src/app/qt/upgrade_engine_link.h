// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window's view of the process's upgrade engine.
#include "engine/upgrade_engine.h"
#include "window/engine_link.h"

namespace quillon {

class UpgradeEngineLink final : public EngineLink {
public:
    explicit UpgradeEngineLink(UpgradeEngine& engine) : engine_(engine) {}

    // ---- EngineLink (window thread) ----
    bool running() const override { return engine_.running(); }
    void start_batch(const BatchSettings& s) override;
    void request_stop() override { engine_.request_stop(); }
    void set_auto_retry(int on) override { engine_.set_auto_retry(on); }
    std::string worker_status(int w) override;
    int img_percent(int w) override;
    int dev_percent(int w) override;
    void arm_conflict_probe(const std::string& ip, const std::string& mac) override;
    bool take_conflict(std::string& ip, std::string& mac) override;

private:
    UpgradeEngine& engine_;
};

}  // namespace quillon
