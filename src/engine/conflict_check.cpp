// SPDX-License-Identifier: Apache-2.0
// The address-conflict check before every image: the device at the address is asked to identify
// itself, and the discovery intake raises the worker's flag if another MAC answers for it.
#include <cstdio>

#include "engine/upgrade_engine.h"
#include "contract/window_port.h"
#include "log/debug_line.h"
#include "log/log_file.h"
#include "platform/timing.h"

namespace quillon {

bool UpgradeEngine::query_and_wait_conflict(const std::string& ip, int w) {
    if (m_search) m_search->search(0, ip.c_str());
    // Three waits of one step each. flag_conflict wakes the wait, so a conflict ends it at once
    // while the wait without one costs three wake-ups, not a look every few milliseconds.
    const auto step = timing().conflict_wait_step;
    for (int left = 3; left >= 1; --left) {
        debug_line("wait for check ip conflict %d\n", left);
        const auto end = Clock::now() + step;
        std::unique_lock<std::mutex> lk(m_conflict_lock);
        if (m_conflict_raised.wait_until(lk, end, [&] { return m_ip_conflict[w] != 0; }))
            return true;
    }
    return m_ip_conflict[w] != 0;
}

int UpgradeEngine::check_ip_conflict(const std::string& ip, int w) {
    if (!query_and_wait_conflict(ip, w)) return 0;
    std::string cip, cmac;
    cur_device(w, cip, cmac);
    m_dlg->user_report().WriteTagged("USR", "upgrade error: ipaddr conflict, IP:%s MAC:%s",
                                     cip.c_str(), cmac.c_str());
    m_ip_conflict[w] = 0;
    debug_line("IP Conflict %s err (%s %s)!\n", ip.c_str(), cip.c_str(), cmac.c_str());
    return 1;
}

}  // namespace quillon
