// SPDX-License-Identifier: Apache-2.0
#include "engine/come_back_watch.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "engine/upgrade_engine.h"
#include "contract/window_port.h"
#include "log/debug_line.h"
#include "log/log_file.h"
#include "platform/ipv4.h"
#include "platform/timing.h"

namespace quillon {
namespace {

int whole_seconds(ComeBackWatch::Clock::duration d) {
    return int(std::chrono::duration_cast<std::chrono::seconds>(d).count());
}

}  // namespace

ComeBackWatch::~ComeBackWatch() {
    {
        std::lock_guard lk(m_lock);
        m_end = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void ComeBackWatch::set_limit(std::chrono::milliseconds limit) {
    std::lock_guard lk(m_lock);
    m_limit = limit < std::chrono::milliseconds(0) ? std::chrono::milliseconds(0) : limit;
}

std::chrono::milliseconds ComeBackWatch::limit() const {
    std::lock_guard lk(m_lock);
    return m_limit.count() < 0 ? timing().come_back_limit : m_limit;
}

void ComeBackWatch::begin_batch(WindowPort& port, SearchSender* sender, BatchObserver* observer,
                                bool check) {
    const auto lim = limit();
    std::lock_guard lk(m_lock);
    m_devices.clear();
    m_by_ip.clear();
    m_queue.clear();
    m_waiting = 0;
    m_unreported = 0;
    m_stop_batch = false;
    // Without a way to search there is nothing to check with: no device is watched.
    m_check = check && lim.count() > 0 && sender != nullptr;
    m_check_meant = m_check;
    m_port = &port;
    m_sender = sender;
    m_observer = observer;
}

bool ComeBackWatch::ensure_thread() {
    if (m_thread.joinable()) return true;
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& e) {
        debug_line("come-back watcher not started: %s\n", e.what());
        return false;
    }
    return true;
}

void ComeBackWatch::watch(int row, const std::string& ip, const std::string& mac,
                          const std::string& version_before) {
    const auto lim = limit();
    {
        std::lock_guard lk(m_lock);
        if (!m_check || m_port == nullptr) return;
        // No thread, no check: a device nobody reports would keep the end of the batch waiting.
        if (!ensure_thread()) {
            m_check = false;
            return;
        }
        // A batch stopped while its last devices ended: they are not checked either.
        Device d;
        d.row = row;
        d.ip = ip;
        // Answers are matched by address, not by its text. A row whose address is no address
        // cannot be searched for: it is reported as not checked.
        const auto addr = parse_ipv4(ip);
        if (addr) d.addr = *addr;
        d.mac = mac;
        d.version_before = version_before;
        d.since = Clock::now();
        // No search at once: a device that has not gone down yet would answer it as if it
        // were back.
        d.next_search = d.since + std::min<Clock::duration>(timing().come_back_interval, lim);
        d.state = (m_stop_batch || !addr) ? State::unchecked : State::waiting;
        const std::size_t i = m_devices.size();
        m_devices.push_back(std::move(d));
        ++m_unreported;
        if (m_devices[i].state == State::waiting) {
            ++m_waiting;
            m_by_ip.emplace(m_devices[i].addr.net, i);
            m_queue.push_back(i);
        }
    }
    m_wake.notify_all();
}

void ComeBackWatch::answer(const char* ip, const char* mac, const char* version) {
    const auto from = parse_ipv4(ip);
    if (!from) return;
    const std::string mac_text(mac ? mac : "");
    bool any = false;
    {
        std::lock_guard lk(m_lock);
        if (m_waiting == 0) return;
        const auto now = Clock::now();
        auto [it, end] = m_by_ip.equal_range(from->net);
        while (it != end) {
            Device& d = m_devices[it->second];
            // Not yet searched for since the reboot: this answer may be one the device gave
            // before it went down.
            if (d.state != State::waiting || d.searched == Clock::time_point{} ||
                (!d.mac.empty() && d.mac != mac_text)) {
                ++it;
                continue;
            }
            d.state = State::back;
            d.answered = now;
            d.version_after = version ? version : "";
            if (d.mac.empty()) d.mac = mac_text;
            --m_waiting;
            it = m_by_ip.erase(it);
            any = true;
        }
    }
    if (any) m_wake.notify_all();
}

bool ComeBackWatch::checking() const {
    std::lock_guard lk(m_lock);
    return m_check_meant;
}

int ComeBackWatch::awaited() const {
    std::lock_guard lk(m_lock);
    return m_waiting;
}

ComeBackWatch::Clock::time_point ComeBackWatch::collect(Clock::time_point now,
                                                        std::vector<Device>& out,
                                                        std::string& target) {
    const auto lim = m_limit.count() < 0 ? timing().come_back_limit : m_limit;
    Clock::time_point next = now + std::chrono::hours(1);
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        Device& d = m_devices[i];
        if (d.state == State::waiting) {
            if (m_stop_batch)
                d.state = State::unchecked;
            else if (now - d.since >= lim)
                d.state = State::not_back;
            else
                next = std::min<Clock::time_point>(next, d.since + lim);
            if (d.state != State::waiting) {
                --m_waiting;
                auto [it, end] = m_by_ip.equal_range(d.addr.net);
                for (; it != end; ++it)
                    if (it->second == i) {
                        m_by_ip.erase(it);
                        break;
                    }
            }
        }
        if (d.state == State::back || d.state == State::not_back || d.state == State::unchecked) {
            out.push_back(d);
            d.state = State::reported;
        }
    }
    // The queue is in the order of the next search: every device waits the same interval.
    while (!m_queue.empty() && m_devices[m_queue.front()].state != State::waiting)
        m_queue.pop_front();
    if (!m_queue.empty()) {
        Device& d = m_devices[m_queue.front()];
        if (d.next_search <= now) {
            target = ipv4_text(d.addr);
            if (d.searched == Clock::time_point{}) d.searched = now;
            d.next_search = now + timing().come_back_interval;
            const std::size_t i = m_queue.front();
            m_queue.pop_front();
            m_queue.push_back(i);
        } else {
            next = std::min(next, d.next_search);
        }
    }
    return next;
}

void ComeBackWatch::run() {
    std::unique_lock lk(m_lock);
    while (!m_end) {
        std::vector<Device> results;
        std::string target;
        const auto next = collect(Clock::now(), results, target);
        if (results.empty() && target.empty()) {
            m_wake.wait_until(lk, next);
            continue;
        }
        SearchSender* sender = m_sender;
        lk.unlock();
        for (const Device& d : results) report(d);
        // The sender pauses after every request: the searches of many devices are spread out.
        if (!target.empty() && sender) sender->search(0, target.c_str());
        lk.lock();
        if (!results.empty()) {
            m_unreported -= int(results.size());
            m_result.notify_all();
        }
    }
}

void ComeBackWatch::report(const Device& d) {
    WindowPort& port = *m_port;  // set by begin_batch before any device is watched
    ComeBackResult r;
    r.row = d.row;
    r.ip = d.ip;
    r.mac = d.mac;
    r.version_before = d.version_before;
    // Rows are only appended while a batch runs; the check guards against a list changed anyway.
    const bool row_ok = port.device_text(d.row, DeviceField::ip) == d.ip;
    LogFile& log = port.user_report();
    if (d.state == State::back) {
        r.checked = true;
        r.came_back = true;
        r.version_after = d.version_after;
        r.seconds = whole_seconds(d.answered - d.since);
        if (row_ok) port.device_came_back(d.row, d.version_after);
        log.WriteTagged("CHECK", "device back: IP:%s MAC:%s version:%s -> %s (%d s)", d.ip.c_str(),
                        d.mac.c_str(), d.version_before.c_str(), d.version_after.c_str(),
                        r.seconds);
    } else if (d.state == State::not_back) {
        r.checked = true;
        r.seconds = whole_seconds(limit());
        if (row_ok) port.device_state(d.row, DeviceState::not_back);
        log.WriteTagged("CHECK", "device not back: IP:%s MAC:%s after %d s", d.ip.c_str(),
                        d.mac.c_str(), r.seconds);
    } else {
        r.seconds = whole_seconds(Clock::now() - d.since);
        log.WriteTagged("CHECK", "device not checked: IP:%s MAC:%s (stopped after %d s)",
                        d.ip.c_str(), d.mac.c_str(), r.seconds);
    }
    if (m_observer) m_observer->device_came_back(r);
}

bool ComeBackWatch::wait_all(const std::function<bool()>& stopped) {
    int shown = -1;
    std::unique_lock lk(m_lock);
    while (m_unreported > 0) {
        if (!m_stop_batch && stopped()) {
            m_stop_batch = true;
            m_wake.notify_all();
        }
        if (!m_stop_batch && m_waiting != shown && m_waiting > 0 && m_port) {
            shown = m_waiting;
            WindowPort* port = m_port;
            lk.unlock();
            port->show_awaited(shown);
            lk.lock();
            continue;
        }
        m_result.wait_for(lk, timing().driver_poll);
    }
    return shown >= 0;
}

}  // namespace quillon
