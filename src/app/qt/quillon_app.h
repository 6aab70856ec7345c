// SPDX-License-Identifier: Apache-2.0
#pragma once
// Start-up of the desktop program: logs, settings, language, the window's texts and states,
// adapters, discovery, the engine and its driver, the first search and its search window.
#include <cstdint>
#include <functional>
#include <memory>

#include "app/qt/discovery_runner.h"
#include "app/qt/upgrade_engine_link.h"
#include "engine/engine_worker_watch.h"
#include "discovery/brelk_mul_event.h"
#include "discovery/intake.h"
#include "discovery/come_back_tap.h"
#include "engine/batch_outcomes.h"
#include "engine/come_back_watch.h"
#include "engine/observer_fan.h"
#include "engine/upgrade_engine.h"
#include "journal/batch_journal.h"
#include "log/debug_log.h"
#include "texts/ui_texts.h"
#include "window/qt/quillon_dlg.h"

namespace quillon {

struct AppOptions {
    // Discovery sockets, the start-up search and every later one. Window tests switch it off
    // and hand a recorder instead, so that nothing is sent from the machine.
    bool network = true;
    DiscoveryLink* discovery = nullptr;  // used when network is off
    uint16_t discovery_port = BrelkMulEvent::kPort;
    bool start_driver = true;
    // The window; tests hand one whose message boxes answer by themselves.
    std::function<std::unique_ptr<CQuillonDlg>()> make_window;
};

class CQuillonApp {
public:
    explicit CQuillonApp(AppOptions options = {});
    ~CQuillonApp();
    CQuillonApp(const CQuillonApp&) = delete;
    CQuillonApp& operator=(const CQuillonApp&) = delete;

    // Every start-up step in order, ending with the window shown. 0, or -1 when the window
    // cannot be set up.
    int init_instance();
    CQuillonDlg& dlg() { return *dlg_; }
    UpgradeEngine& engine() { return engine_; }
    // The come-back watcher of the batches (set up by init_instance).
    ComeBackWatch& come_back() { return *come_back_; }
    bool debug_mode() const { return debug_mode_; }
    // Runs the window until it closes, then ends the program's threads (see main).
    int run();

private:
    void end_program(bool batch_running);
    // Stops serving the window port, discovery and the driver, in that order.
    void shutdown();

    AppOptions options_;
    UpgradeEngine engine_;
    UpgradeEngineLink link_{engine_};
    EngineWorkerWatch watch_{engine_};  // the intake's view of the workers
    std::unique_ptr<CQuillonDlg> dlg_;
    std::unique_ptr<DeviceIntake> intake_;
    // Follows the upgraded devices through their reboot; the tap hands it every answer that
    // the intake gets (the endpoint below goes first, then these).
    std::unique_ptr<ComeBackWatch> come_back_;
    std::unique_ptr<ComeBackTap> tap_;
    // Answers are listed with the "Ready" word of the chosen language.
    BrelkMulEvent endpoint_{[] { return T(TextId::st_ready); }};
    std::unique_ptr<DiscoveryRunner> runner_;
    std::unique_ptr<SearchSenderFor<BrelkMulEvent>> search_sender_;
    std::unique_ptr<BatchJournal> journal_;  // the engine's observer: every batch's journal
    // The report's SUMMARY lines at the end of every batch; with the journal, the engine's
    // observers (through the fan).
    std::unique_ptr<BatchOutcomes> outcomes_;
    ObserverFan observers_;
    bool debug_mode_ = false;
    DebugLog debug_log_;  // debug mode: the diagnostic lines, in place of standard output
    bool driver_started_ = false;
};

}  // namespace quillon
