// SPDX-License-Identifier: Apache-2.0
#include "engine/upgrade_engine.h"

namespace quillon {

UpgradeEngine::UpgradeEngine() {
    for (auto& t : m_last_activity) t = Clock::now();
}

// A batch still under way is asked to stop after the devices in hand; the driver then ends and is
// joined, so that no thread outlives the engine. (A program that must end at once does not wait
// for this: it ends the process instead.)
UpgradeEngine::~UpgradeEngine() {
    if (m_driver_thread.joinable()) {
        m_running = 0;
        stop_driver();
    }
}

void UpgradeEngine::set_cur_device(int w, const std::string& ip, const std::string& mac) {
    std::lock_guard lock(m_text_lock[w]);
    // A conflict seen for the worker's last address (an answer that came after its last check)
    // is not the new address's: its first check would otherwise fail at once.
    if (m_cur_ip[w] != ip) m_ip_conflict[w] = 0;
    m_cur_ip[w] = ip;
    m_cur_mac[w] = mac;
}

std::string UpgradeEngine::cur_ip(int w) const {
    std::lock_guard lock(m_text_lock[w]);
    return m_cur_ip[w];
}

std::string UpgradeEngine::cur_mac(int w) const {
    std::lock_guard lock(m_text_lock[w]);
    return m_cur_mac[w];
}

void UpgradeEngine::cur_device(int w, std::string& ip, std::string& mac) const {
    std::lock_guard lock(m_text_lock[w]);
    ip = m_cur_ip[w];
    mac = m_cur_mac[w];
}

void UpgradeEngine::set_status(int w, const std::string& text) {
    std::lock_guard lock(m_text_lock[w]);
    m_status[w] = text;
}

std::string UpgradeEngine::status(int w) const {
    std::lock_guard lock(m_text_lock[w]);
    return m_status[w];
}

}  // namespace quillon
