// SPDX-License-Identifier: Apache-2.0
#include "discovery/intake.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "discovery/device_type.h"
#include "log/log_file.h"
#include "platform/ipv4.h"
#include "platform/local_time.h"
#include "texts/ui_texts.h"

namespace quillon {

bool is_ipv4_text(const char* text) { return parse_ipv4(text).has_value(); }

std::time_t DeviceIntake::system_clock() { return std::time(nullptr); }

DeviceIntake::DeviceIntake(WindowPort& port, WorkerWatch& workers, Clock clock)
    : port_(port), workers_(workers), clock_(clock ? clock : &system_clock) {}

void DeviceIntake::add_found_device(const char* ip, const char* id, const char* mac,
                                    const char* version, const char* status) {
    // Read one at a time, with no arrival time: taken only while the intake is open.
    std::vector<FoundDevice> pending;
    take(ip, id, mac, version, status, ArrivalTime{}, pending);
    if (!pending.empty()) port_.insert_found_device(pending.front());
}

void DeviceIntake::add_found_devices(const std::vector<ReceivedAnswer>& answers,
                                     const char* status) {
    auto text = [](const std::optional<std::string>& t) { return t ? t->c_str() : nullptr; };
    std::vector<FoundDevice> pending;
    for (const ReceivedAnswer& r : answers) {
        take(text(r.answer.ip), text(r.answer.id), text(r.answer.mac), text(r.answer.version),
             status, r.arrived, pending);
    }
    // The rows of devices to list go in one request, in their order.
    if (!pending.empty()) port_.insert_found_devices(pending);
}

void DeviceIntake::take(const char* ip_in, const char* id_in, const char* mac_in,
                        const char* version_in, const char* status_in, ArrivalTime arrived,
                        std::vector<FoundDevice>& pending) {
    if (!is_ipv4_text(ip_in)) return;
    const std::time_t now = clock_();

    const std::string ip(ip_in);
    const std::string id(id_in ? id_in : "");
    const std::string mac(mac_in ? mac_in : "");
    const std::string version(version_in ? version_in : "");
    const std::string status(status_in ? status_in : T(TextId::st_ready));

    WindowFlags& flags = port_.flags();
    if (!flags.takes_answer(arrived)) {
        // Work on rows that are already listed must follow the rows waiting to be added.
        if (!pending.empty()) {
            port_.insert_found_devices(pending);
            pending.clear();
        }
        if (flags.conflict_watch.load() == 1) watch_conflicts(ip, mac);
        if (port_.range_box_checked()) {
            port_.update_row_by_ip(ip, format_devid(id), mac,
                                   device_type_name(device_type_code(id)), version, status);
        }
        return;
    }

    // The duplicate check and the insertion run together on the window's thread (the port's
    // insertion), so nothing the window does can come between them.
    FoundDevice dev = found_device(ip, id, mac, version, status, now);
    dev.arrived = arrived;
    pending.push_back(std::move(dev));
}

FoundDevice DeviceIntake::found_device(const std::string& ip, const std::string& id,
                                       const std::string& mac, const std::string& version,
                                       const std::string& status, std::time_t now) const {
    FoundDevice dev;
    dev.ip = ip;
    dev.devid = format_devid(id);
    dev.mac = mac;
    dev.type_name = device_type_name(device_type_code(id));
    dev.version = version;
    dev.status = status;
    dev.begin_time = local_time_text(now);
    return dev;
}

int DeviceIntake::add_named_device(const std::string& ip) {
    if (!is_ipv4_text(ip.c_str())) return -1;
    FoundDevice dev = found_device(ip, "", "", "", T(TextId::st_ready), clock_());
    // No id, so no type: the type an empty id maps to would be a guess shown as a fact.
    dev.type_name.clear();
    dev.named = true;
    return port_.insert_found_device(dev);
}

void DeviceIntake::watch_conflicts(const std::string& ip, const std::string& mac) {
    const int n = std::clamp(workers_.worker_count(), 0, WorkerWatch::kMaxWorkers);
    WorkerWatch::Watched w;
    // Every worker on this address is marked, not only the first.
    for (int i = 0; i < n; ++i) {
        if (!workers_.watched_device(i, w)) continue;
        if (w.ip != ip || w.mac.empty() || w.mac == mac) continue;
        // The line goes out before the flag so that it precedes the worker's own error line.
        port_.user_report().WriteTagged("USR", "ipaddress conflict, IP:%s MAC:%s MAC2:%s",
                                        ip.c_str(), mac.c_str(), w.mac.c_str());
        workers_.flag_conflict(i, ip);
    }
}

}  // namespace quillon
