#pragma once
// The window's and the intake's view of the process's upgrade engine.
#include <atomic>

#include "discovery/intake.h"
#include "engine/upgrade_engine.h"
#include "window/qt/engine_link.h"

namespace quillon {

class UpgradeEngineLink final : public EngineLink, public WorkerWatch {
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

    // ---- WorkerWatch (discovery receive thread) ----
    int worker_count() override { return workers_.load(); }
    bool watched_device(int i, Watched& out) override;
    void flag_conflict(int i, const std::string& ip) override;

private:
    static bool valid(int w) { return w >= 0 && w < kWorkers; }

    UpgradeEngine& engine_;
    // A copy of m_thread_num that the receive thread may read while START writes the engine's.
    std::atomic<int> workers_{2};
};

}  // namespace quillon
