// SPDX-License-Identifier: Apache-2.0
// The simulated exchange used when the fake-burn setting is on: the same conflict query and the
// same row, bar and status updates as a real device would cause, without any connection.
#include <cstdio>
#include <random>

#include "engine/upgrade_engine.h"
#include "contract/window_port.h"
#include "log/debug_line.h"
#include "platform/timing.h"

namespace quillon {

int UpgradeEngine::fake_process_one(const std::string& ip, int slot, int w, int row,
                                    int images_done) {
    if (slot < 0 || slot >= kSlots || m_img_len[slot] == 0) return -1;
    std::string cip, cmac;
    cur_device(w, cip, cmac);
    debug_line("IP Conflict %s  (%s %s)! =%d\n", ip.c_str(), cip.c_str(), cmac.c_str(),
               int(cmac.size()));

    const Timing& t = timing();
    query_and_wait_conflict(ip, w);
    std::this_thread::sleep_for(t.fake_extra_wait);
    if (m_ip_conflict[w]) {
        m_ip_conflict[w] = 0;
        debug_line("IP Conflict %s err (%s %s)!\n", ip.c_str(), cip.c_str(), cmac.c_str());
        return -1;
    }

    thread_local std::minstd_rand rng{std::random_device{}()};
    std::this_thread::sleep_for(std::chrono::milliseconds((rng() % 100 + 1) * 10));

    const auto step_wait = t.fake_step_unit * w;
    for (uint32_t p = 0; p <= 100; p += 10) {
        show_progress(w, slot, row, images_done, kCmdSending, p, true);
        std::this_thread::sleep_for(step_wait);
    }
    for (uint32_t p = 0; p <= 100; p += 5) {
        show_progress(w, slot, row, images_done, kCmdBurning, p, true);
        std::this_thread::sleep_for(step_wait);
    }
    show_finish(w, slot);
    show_image_done(w, slot, row, images_done);

    const int done = m_done;
    const int total = m_total;
    // Without devices in the pass there is no batch share to show.
    const int percent3 = total > 0 ? 100 * done / total : 0;
    m_dlg->raise_batch_bar(percent3);
    debug_line("percent3=%d %d %d\n", percent3, done, total);
    return 0;
}

}  // namespace quillon
