// The address-conflict check before every image: the device at the address is asked to identify
// itself, and the discovery intake raises the worker's flag if another MAC answers for it.
#include <cstdio>

#include "engine/upgrade_engine.h"
#include "engine/window_port.h"
#include "log/log_file.h"
#include "platform/timing.h"

namespace quillon {

bool UpgradeEngine::query_and_wait_conflict(const std::string& ip, int w) {
    if (m_search) m_search->search(0, ip.c_str());
    // Three waits of one step each; the flag is looked at often so that a conflict ends the wait
    // at once, while the wait without a conflict stays three whole steps.
    constexpr auto kLook = std::chrono::milliseconds(20);
    const auto step = timing().conflict_wait_step;
    for (int left = 3; left >= 1; --left) {
        std::printf("wait for check ip conflict %d\n", left);
        const auto end = Clock::now() + step;
        for (;;) {
            if (m_ip_conflict[w]) return true;
            const auto now = Clock::now();
            if (now >= end) break;
            std::this_thread::sleep_for(std::min<Clock::duration>(kLook, end - now));
        }
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
    std::printf("IP Conflict %s err (%s %s)!\n", ip.c_str(), cip.c_str(), cmac.c_str());
    return 1;
}

}  // namespace quillon
