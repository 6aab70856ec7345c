#include "app/qt/upgrade_engine_link.h"

namespace quillon {

void UpgradeEngineLink::start_batch(const BatchSettings& s) {
    workers_.store(s.thread_num);
    engine_.start_batch(s);
}

std::string UpgradeEngineLink::worker_status(int w) {
    return valid(w) ? engine_.status(w) : std::string();
}

int UpgradeEngineLink::img_percent(int w) { return valid(w) ? engine_.m_img_percent[w].load() : 0; }

int UpgradeEngineLink::dev_percent(int w) { return valid(w) ? engine_.m_dev_percent[w].load() : 0; }

void UpgradeEngineLink::arm_conflict_probe(const std::string& ip, const std::string& mac) {
    engine_.set_cur_device(0, ip, mac);
    engine_.m_ip_conflict[0].store(0);
}

bool UpgradeEngineLink::take_conflict(std::string& ip, std::string& mac) {
    if (engine_.m_ip_conflict[0].load() != 1) return false;
    engine_.cur_device(0, ip, mac);
    engine_.m_ip_conflict[0].store(0);
    return true;
}

bool UpgradeEngineLink::watched_device(int i, Watched& out) {
    if (!valid(i) || !engine_.m_thread_live[i].load()) return false;
    engine_.cur_device(i, out.ip, out.mac);
    return true;
}

void UpgradeEngineLink::flag_conflict(int i, const std::string& ip) {
    if (valid(i)) engine_.flag_conflict(i, ip);
}

}  // namespace quillon
