// SPDX-License-Identifier: Apache-2.0
#include <chrono>
#include <cstdio>

#include "engine/engine_internals.h"
#include "log/log_file.h"
#include "platform/timing.h"
#include "push.h"
#include "window/headless_window.h"

namespace quillon::bench {

double push_engine(const PushTarget& t, std::string& why) {
    // Only the exchange is timed: the conflict check's waits are the protocol's and are counted
    // by the floor of the whole tool, not here. No discovery endpoint: no search is sent.
    timing().conflict_wait_step = std::chrono::milliseconds(0);
    LogFile report;
    HeadlessWindow window(report, {"ALL"});
    EngineInternals engine;
    engine.m_dlg = &window;
    engine.m_port = t.port;
    engine.m_url[0] = t.image;
    if (!engine.load_images()) {
        why = "the engine cannot load " + t.image;
        return -1;
    }
    int row = -1;
    window.run([&] { row = window.device_table().append_row("1"); });
    engine.set_cur_device(0, t.ip, "");
    engine.m_need_reboot[0] = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = engine.process_one(t.ip, 0, 0, row < 0 ? 0 : row, 0);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    engine.release_images();
    if (rc != 1) {
        why = "process_one returned " + std::to_string(rc);
        return -1;
    }
    return s;
}

}  // namespace quillon::bench
