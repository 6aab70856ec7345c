// SPDX-License-Identifier: Apache-2.0
#include "cli/site_search_verb.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <thread>

#include "cli/local_adapters.h"
#include "cli/site_list.h"
#include "cli/text_out.h"
#include "cli/verbs.h"
#include "discovery/brelk_mul_event.h"
#include "platform/socket.h"
#include "platform/timing.h"

namespace quillon::cli {
namespace {

// The end of the chain: only the site list's answers are wanted here.
class NoSink final : public FoundDeviceSink {
public:
    void add_found_device(const char*, const char*, const char*, const char*,
                          const char*) override {}
    void add_found_devices(const std::vector<ReceivedAnswer>&, const char*) override {}
};

const char* state_text(SiteState s) {
    return s == SiteState::found ? "found" : s == SiteState::not_found ? "not found" : "conflict";
}

std::string adapter_names(const std::vector<LocalAdapter>& adapters) {
    std::string names;
    for (const auto& a : adapters) names += (names.empty() ? "" : ", ") + a.name;
    return names.empty() ? "none" : names;
}

}  // namespace

std::string site_checks_table(const std::vector<SiteCheck>& checks) {
    using Row = std::array<std::string, 6>;
    std::vector<Row> rows{{"ADDRESS", "NAME", "STATE", "MAC", "VERSION", "WHY"}};
    for (const SiteCheck& c : checks) {
        const bool answered = c.state != SiteState::not_found;
        rows.push_back(
            {c.device.ip, terminal_text(c.device.name.empty() ? "-" : c.device.name),
             state_text(c.state),
             answered && !c.answer.mac.empty() ? terminal_text(c.answer.mac) : "-",
             answered && !c.answer.version.empty() ? terminal_text(c.answer.version) : "-",
             c.why.empty() ? "" : c.why});
    }
    std::array<std::size_t, 6> width{};
    for (const Row& r : rows)
        for (std::size_t i = 0; i < r.size(); ++i)
            width[i] = std::max(width[i], display_width(r[i]));
    std::string out;
    for (const Row& r : rows) {
        std::string line;
        for (std::size_t i = 0; i < r.size(); ++i) {
            line += r[i];
            if (i + 1 < r.size()) line.append(width[i] - display_width(r[i]) + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::string site_checks_json(const std::vector<SiteCheck>& checks, const std::string& adapter,
                             const std::string& address) {
    std::string o = "{\"adapter\":" + json_string(adapter) +
                    ",\"address\":" + json_string(address) + ",\"devices\":[";
    for (std::size_t i = 0; i < checks.size(); ++i) {
        const SiteCheck& c = checks[i];
        const bool answered = c.state != SiteState::not_found;
        auto answer = [&](const std::string& t) {
            return answered ? json_string(t) : std::string("null");
        };
        if (i) o += ",";
        o += "{\"ip\":" + json_string(c.device.ip) + ",\"name\":" + json_string(c.device.name) +
             ",\"listed_mac\":" + json_string(c.device.mac) +
             ",\"state\":" + json_string(state_text(c.state)) + ",\"id\":" + answer(c.answer.id) +
             ",\"mac\":" + answer(c.answer.mac) + ",\"version\":" + answer(c.answer.version) +
             ",\"why\":" + json_string(c.why) + "}";
    }
    return o + "]}\n";
}

int run_site_search(const SiteSearchRequest& r) {
    // The list first: a bad one is refused before anything is sent.
    std::vector<SiteDevice> devices;
    if (std::string err; !read_site_list(r.devices_from, devices, err)) {
        std::fprintf(stderr, "search: --devices-from %s\n", err.c_str());
        return kExitUsage;
    }
    const std::vector<LocalAdapter> adapters = list_local_adapters();
    const LocalAdapter* adapter = choose_adapter(adapters, r.adapter);
    if (!adapter) {
        if (r.adapter.empty()) {
            std::fprintf(stderr,
                         "search: no network adapter with an IPv4 address is up; name one "
                         "with --adapter (adapters: %s)\n",
                         adapter_names(adapters).c_str());
            return kExitFailure;
        }
        std::fprintf(stderr, "search: no adapter \"%s\" with an IPv4 address (adapters: %s)\n",
                     r.adapter.c_str(), adapter_names(adapters).c_str());
        return kExitUsage;
    }
    const std::string address = ipv4_text(adapter->address);
    NoSink none;
    SiteAnswers answers(none);
    BrelkMulEvent discovery;
    if (discovery.start(&answers, adapter->address, static_cast<uint16_t>(r.port)) != 0) {
        std::fprintf(stderr, "search: cannot open the discovery sockets: %s\n",
                     socket_error_text(last_socket_error()).c_str());
        return kExitFailure;
    }
    if (discovery.local_bind_errno() && discovery.any_bind_errno()) {
        std::fprintf(
            stderr,
            "search: cannot listen on UDP port %d (%s); is another Quillon program running?\n",
            r.port, socket_error_text(discovery.local_bind_errno()).c_str());
        return kExitFailure;
    }
    std::fprintf(stderr, "Searching on %s (%s) for the %zu listed device%s...\n",
                 adapter->name.c_str(), address.c_str(), devices.size(),
                 devices.size() == 1 ? "" : "s");
    SiteSearchHooks hooks{[&](const std::string& ip) { discovery.search(0, ip.c_str()); },
                          [](std::chrono::milliseconds d) {
                              std::this_thread::sleep_for(d);
                              return false;
                          },
                          [](const std::string& t) { std::fprintf(stderr, "%s\n", t.c_str()); },
                          timing().search_window};
    search_site_devices(devices, answers, hooks);
    discovery.stop();

    const std::vector<SiteCheck> checks = judge_site_devices(devices, answers.answers());
    const auto found = std::count_if(checks.begin(), checks.end(), [](const SiteCheck& c) {
        return c.state == SiteState::found;
    });
    std::fprintf(stderr, "%zu of %zu listed device%s found\n", std::size_t(found), checks.size(),
                 checks.size() == 1 ? "" : "s");
    const std::string out = r.json ? site_checks_json(checks, adapter->name, address)
                                   : site_checks_table(checks);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0) return kExitFailure;
    return std::size_t(found) == checks.size() ? kExitOk : kExitFailure;
}

}  // namespace quillon::cli
