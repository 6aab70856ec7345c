// SPDX-License-Identifier: Apache-2.0
#pragma once
// The devices of a site list, each searched for directly at its address before the batch: the
// ones that answer (with the listed MAC, when one is listed) become rows of the device list;
// the others are reported "not found" or refused as a conflict, and are not upgraded.
#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cli/site_list.h"
#include "discovery/brelk_mul_event.h"
#include "contract/window_port.h"

namespace quillon::cli {

// One answer from a listed address; texts as the device sent them (empty when missing).
struct SiteAnswer {
    std::string id, mac, version;
};

// Sits in front of the intake: hands every answer on unchanged and, while it listens, keeps the
// answers from the listed addresses (each MAC once, in the order they came).
class SiteAnswers final : public FoundDeviceSink {
public:
    explicit SiteAnswers(FoundDeviceSink& next) : next_(next) {}

    void add_found_device(const char* ip, const char* id, const char* mac, const char* version,
                          const char* status) override;
    void add_found_devices(const std::vector<ReceivedAnswer>& answers, const char* status) override;

    void listen(const std::vector<SiteDevice>& devices);
    void stop_listening();
    std::map<std::string, std::vector<SiteAnswer>> answers() const;
    bool answered(const std::string& ip) const;

private:
    void record(const char* ip, const char* id, const char* mac, const char* version);

    FoundDeviceSink& next_;
    mutable std::mutex m_;  // a leaf: guards the three below, never held while handing on
    bool listening_ = false;
    std::set<std::string> wanted_;
    std::map<std::string, std::vector<SiteAnswer>> answers_;
};

enum class SiteState { found, not_found, conflict };

struct SiteCheck {
    SiteDevice device;
    SiteState state = SiteState::not_found;
    SiteAnswer answer;      // found, and a conflict: the (first) answer
    std::string why;        // conflict: what was seen, for the person
    std::string other_mac;  // conflict: the listed MAC, or the second MAC that answered
};

// Each listed device judged by the answers from its address: none, "not found"; two MACs, or
// another MAC than the listed one, a conflict; else found.
std::vector<SiteCheck> judge_site_devices(
    const std::vector<SiteDevice>& devices,
    const std::map<std::string, std::vector<SiteAnswer>>& answers);

// What finding the devices needs from the run.
struct SiteSearchHooks {
    std::function<void(const std::string& ip)> search;    // one directed search request
    std::function<bool(std::chrono::milliseconds)> wait;  // true: interrupted
    std::function<void(const std::string&)> message;      // a line for the person
    std::chrono::milliseconds answer_wait{3000};          // how long answers are awaited
};

// Sends a directed search to every listed device and awaits the answers, then a second request
// to the silent ones and awaits theirs; `answers` keeps them. False when interrupted.
bool search_site_devices(const std::vector<SiteDevice>& devices, SiteAnswers& answers,
                         const SiteSearchHooks& hooks);

// Searches for every listed device (a second request to the silent ones), judges them, lists the
// found ones as ticked rows in file order, and writes a user-report line for every device left
// out. A found device whose row cannot be added (its MAC already answered at another listed
// address) is a conflict too. False when interrupted (nothing listed then).
bool find_site_devices(const std::vector<SiteDevice>& devices, SiteAnswers& answers,
                       WindowPort& window, const SiteSearchHooks& hooks,
                       std::vector<SiteCheck>& checks);

// The row a found device gets: what the intake lists for its answer, as a named device.
FoundDevice site_row(const SiteCheck& check, const std::string& status, std::time_t now);

}  // namespace quillon::cli
