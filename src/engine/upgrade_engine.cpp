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

void UpgradeEngine::set_status(int w, const WorkerStatus& status) {
    std::lock_guard lock(m_text_lock[w]);
    m_status[w] = status;
}

WorkerStatus UpgradeEngine::status(int w) const {
    std::lock_guard lock(m_text_lock[w]);
    return m_status[w];
}

std::vector<WorkerStatus> UpgradeEngine::statuses() const {
    std::vector<WorkerStatus> out;
    for (int w = 0; w < kWorkers; ++w) out.push_back(status(w));
    return out;
}

BatchSettings UpgradeEngine::settings() const {
    BatchSettings s;
    for (int i = 0; i < kSlots; ++i) {
        s.url[i] = m_url[i];
        s.reboot_after[i] = m_reboot_after[i];
    }
    s.ip_begin = m_ip_begin;
    s.ip_end = m_ip_end;
    s.ip_scan = m_ip_scan;
    s.thread_num = m_thread_num;
    return s;
}

WorkerSnapshot UpgradeEngine::worker(int w) const {
    WorkerSnapshot s;
    if (w < 0 || w >= kWorkers) return s;
    s.live = m_thread_live[w].load();
    s.img_percent = m_img_percent[w].load();
    s.dev_percent = m_dev_percent[w].load();
    std::lock_guard lock(m_text_lock[w]);
    s.cur_ip = m_cur_ip[w];
    s.cur_mac = m_cur_mac[w];
    s.status = m_status[w];
    return s;
}

LoadedImage UpgradeEngine::loaded_image(int j) const {
    LoadedImage im;
    if (j < 0 || j >= kSlots) return im;
    im.path = m_url[j];
    im.len = m_img_len[j];
    im.head = &m_img_head[j];
    im.crc32 = m_img_crc32[j];
    im.data = m_img_data[j].get();
    im.reboot_after = m_reboot_after[j] != 0;
    return im;
}

void UpgradeEngine::arm_conflict_probe(const std::string& ip, const std::string& mac) {
    set_cur_device(0, ip, mac);
    m_ip_conflict[0].store(0);
}

bool UpgradeEngine::take_conflict(std::string& ip, std::string& mac) {
    if (m_ip_conflict[0].load() != 1) return false;
    cur_device(0, ip, mac);
    m_ip_conflict[0].store(0);
    return true;
}

}  // namespace quillon
