// SPDX-License-Identifier: Apache-2.0
#include "cli/site_search.h"

#include <algorithm>

#include "cli/text_out.h"
#include "discovery/device_type.h"
#include "discovery/intake.h"
#include "log/log_file.h"
#include "platform/local_time.h"
#include "texts/ui_texts.h"

namespace quillon::cli {
namespace {

// The MAC in one form for comparing; a text that is no MAC is compared as it is.
std::string mac_key(const std::string& mac) {
    const std::string n = normalise_mac(mac);
    return n.empty() ? mac : n;
}

std::string mac_shown(const std::string& mac) {
    return mac.empty() ? "no MAC" : "MAC " + terminal_text(mac);
}

// "198.18.0.10 (Block B, door 3)" for messages.
std::string device_shown(const SiteDevice& d) {
    return d.name.empty() ? d.ip : d.ip + " (" + terminal_text(d.name) + ")";
}

}  // namespace

void SiteAnswers::record(const char* ip, const char* id, const char* mac, const char* version) {
    if (!ip) return;
    std::lock_guard l(m_);
    if (!listening_ || !wanted_.count(ip)) return;
    std::vector<SiteAnswer>& seen = answers_[ip];
    const std::string key = mac_key(mac ? mac : "");
    for (const SiteAnswer& a : seen)
        if (mac_key(a.mac) == key) return;
    seen.push_back({id ? id : "", mac ? mac : "", version ? version : ""});
}

void SiteAnswers::add_found_device(const char* ip, const char* id, const char* mac,
                                   const char* version, const char* status) {
    record(ip, id, mac, version);
    next_.add_found_device(ip, id, mac, version, status);
}

void SiteAnswers::add_found_devices(const std::vector<ReceivedAnswer>& answers,
                                    const char* status) {
    auto text = [](const std::optional<std::string>& t) { return t ? t->c_str() : nullptr; };
    for (const ReceivedAnswer& r : answers)
        record(text(r.answer.ip), text(r.answer.id), text(r.answer.mac), text(r.answer.version));
    next_.add_found_devices(answers, status);
}

void SiteAnswers::listen(const std::vector<SiteDevice>& devices) {
    std::lock_guard l(m_);
    wanted_.clear();
    answers_.clear();
    for (const SiteDevice& d : devices) wanted_.insert(d.ip);
    listening_ = true;
}

void SiteAnswers::stop_listening() {
    std::lock_guard l(m_);
    listening_ = false;
}

std::map<std::string, std::vector<SiteAnswer>> SiteAnswers::answers() const {
    std::lock_guard l(m_);
    return answers_;
}

bool SiteAnswers::answered(const std::string& ip) const {
    std::lock_guard l(m_);
    auto it = answers_.find(ip);
    return it != answers_.end() && !it->second.empty();
}

std::vector<SiteCheck> judge_site_devices(
    const std::vector<SiteDevice>& devices,
    const std::map<std::string, std::vector<SiteAnswer>>& answers) {
    std::vector<SiteCheck> checks;
    std::map<std::string, std::string> found_mac;  // MAC -> the listed address it answered at
    for (const SiteDevice& d : devices) {
        SiteCheck c;
        c.device = d;
        auto it = answers.find(d.ip);
        if (it == answers.end() || it->second.empty()) {
            c.state = SiteState::not_found;
        } else {
            const std::vector<SiteAnswer>& seen = it->second;
            c.answer = seen.front();
            if (seen.size() > 1) {
                c.state = SiteState::conflict;
                c.why = "two devices answer at this address (" + mac_shown(seen[0].mac) + " and " +
                        mac_shown(seen[1].mac) + ")";
                c.other_mac = seen[1].mac;
            } else if (!d.mac.empty() && mac_key(c.answer.mac) != d.mac) {
                c.state = SiteState::conflict;
                c.why = mac_shown(c.answer.mac) + " answers at this address; the list says " +
                        d.mac;
                c.other_mac = d.mac;
            } else if (auto [at, fresh] = found_mac.emplace(mac_key(c.answer.mac), d.ip);
                       !fresh && !c.answer.mac.empty()) {
                // One MAC at two listed addresses: as for the list's rows, it is one device,
                // taken at the first of them.
                c.state = SiteState::conflict;
                c.why = mac_shown(c.answer.mac) + " answers at " + at->second + " too";
                c.other_mac = c.answer.mac;
            } else {
                c.state = SiteState::found;
            }
        }
        checks.push_back(std::move(c));
    }
    return checks;
}

FoundDevice site_row(const SiteCheck& check, const std::string& status, std::time_t now) {
    FoundDevice dev;
    dev.ip = check.device.ip;
    dev.devid = format_devid(check.answer.id);
    dev.mac = check.answer.mac;
    dev.type_name = device_type_name(device_type_code(check.answer.id));
    dev.version = check.answer.version;
    dev.status = status;
    dev.begin_time = local_time_text(now);
    // Listed whatever the intake's state: it stays closed to answers nobody asked for.
    dev.named = true;
    return dev;
}

bool search_site_devices(const std::vector<SiteDevice>& devices, SiteAnswers& answers,
                         const SiteSearchHooks& hooks) {
    using namespace std::chrono_literals;
    answers.listen(devices);
    struct StopListening {
        SiteAnswers& a;
        ~StopListening() { a.stop_listening(); }
    } stop{answers};
    // A second request to the silent ones: one lost datagram must not leave a device out.
    for (int round = 0; round < 2; ++round) {
        int sent = 0;
        for (const SiteDevice& d : devices) {
            if (round > 0 && answers.answered(d.ip)) continue;
            if (sent % 32 == 31 && hooks.wait(0ms)) return false;
            hooks.search(d.ip);
            ++sent;
        }
        if (sent == 0) break;
        if (hooks.wait(hooks.answer_wait)) return false;
    }
    return true;
}

bool find_site_devices(const std::vector<SiteDevice>& devices, SiteAnswers& answers,
                       WindowPort& window, const SiteSearchHooks& hooks,
                       std::vector<SiteCheck>& checks) {
    checks.clear();
    if (!search_site_devices(devices, answers, hooks)) return false;
    checks = judge_site_devices(devices, answers.answers());
    const std::string ready = T(TextId::st_ready);
    LogFile& report = window.user_report();
    int found = 0;
    for (SiteCheck& c : checks) {
        const SiteDevice& d = c.device;
        if (c.state == SiteState::found) {
            if (window.insert_found_device(site_row(c, ready, std::time(nullptr))) >= 0) {
                ++found;
                continue;
            }
            c.state = SiteState::conflict;
            c.why = mac_shown(c.answer.mac) + " answers at another listed address too";
            report.WriteTagged("USR", "mac conflict, IP:%s MAC:%s", d.ip.c_str(),
                               c.answer.mac.c_str());
        } else if (c.state == SiteState::not_found) {
            report.WriteTagged("SEARCH", "not found: IP:%s MAC:%s", d.ip.c_str(), d.mac.c_str());
            hooks.message(device_shown(d) + ": not found");
            continue;
        } else {
            // As the intake reports a second MAC on one address: the one that answered, then the
            // other (the listed one, or a second answer).
            report.WriteTagged("USR", "ipaddress conflict, IP:%s MAC:%s MAC2:%s", d.ip.c_str(),
                               c.answer.mac.c_str(), c.other_mac.c_str());
        }
        hooks.message(device_shown(d) + ": refused, " + c.why);
    }
    hooks.message(std::to_string(found) + " of " + std::to_string(devices.size()) +
                  " listed device" + (devices.size() == 1 ? "" : "s") + " found");
    return true;
}

}  // namespace quillon::cli
