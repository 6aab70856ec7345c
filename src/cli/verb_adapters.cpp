// SPDX-License-Identifier: Apache-2.0
// quillon-cli adapters: the machine's IPv4 adapters in the order the program picks them, so
// that a person sees which one a search takes by default and what to give --adapter.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/local_adapters.h"
#include "cli/text_out.h"
#include "cli/verbs.h"
#include "platform/adapter_order.h"

namespace quillon::cli {
namespace {

struct AdaptersOptions {
    bool json = false;
};

std::string state_of(const LocalAdapter& a) {
    std::string s = a.up ? "up" : "down";
    if (a.loopback)
        s += ", loopback";
    else if (is_virtual_adapter_name(a.name))
        s += ", virtual";
    return s;
}

std::string adapters_table(const std::vector<LocalAdapter>& list, const LocalAdapter* chosen) {
    std::vector<std::vector<std::string>> rows{{"ADAPTER", "ADDRESS", "STATE"}};
    for (const auto& a : list)
        rows.push_back({terminal_text(a.name), ipv4_text(a.address),
                        state_of(a) + (&a == chosen ? ", default" : "")});
    std::size_t width[2] = {};
    for (const auto& r : rows)
        for (std::size_t c = 0; c < 2; ++c) width[c] = std::max(width[c], display_width(r[c]));
    std::string out;
    for (const auto& r : rows) {
        for (std::size_t c = 0; c < 2; ++c)
            out += r[c] + std::string(width[c] - display_width(r[c]) + 2, ' ');
        out += r[2] + "\n";
    }
    return out;
}

std::string adapters_json(const std::vector<LocalAdapter>& list, const LocalAdapter* chosen) {
    auto flag = [](bool b) { return std::string(b ? "true" : "false"); };
    std::string out = "{\"default\":" + (chosen ? json_string(chosen->name) : std::string("null")) +
                      ",\"adapters\":[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        const LocalAdapter& a = list[i];
        if (i) out += ",";
        out += "{\"name\":" + json_string(a.name) +
               ",\"address\":" + json_string(ipv4_text(a.address)) + ",\"up\":" + flag(a.up) +
               ",\"loopback\":" + flag(a.loopback) +
               ",\"virtual\":" + flag(!a.loopback && is_virtual_adapter_name(a.name)) + "}";
    }
    return out + "]}\n";
}

int run_adapters(const AdaptersOptions& opt) {
    const std::vector<LocalAdapter> list = list_local_adapters();
    const LocalAdapter* chosen = choose_adapter(list, "");
    const std::string out = opt.json ? adapters_json(list, chosen) : adapters_table(list, chosen);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

}  // namespace

void add_adapters_verb(CLI::App& app, VerbAction& action) {
    auto opt = std::make_shared<AdaptersOptions>();
    CLI::App* verb =
        app.add_subcommand("adapters",
                           "List the IPv4 network adapters, the one searched on by default first");
    verb->allow_windows_style_options(false);
    verb->footer(
        "Order: real adapters that are up; then virtual bridges, container and VPN interfaces\n"
        "that are up (docker*, virbr*, veth*, br-*, vmnet*, vboxnet*, tailscale*, wg*, in any\n"
        "case of letters); then adapters that are down; then loopback. Within each group the\n"
        "system's order. The default adapter of search and upgrade is the first one that is up\n"
        "and not loopback; the desktop program's adapter box lists its adapters in this order.");
    verb->add_flag("--json", opt->json, "Print the adapters as JSON");
    verb->callback([opt, &action] { action = [opt] { return run_adapters(*opt); }; });
}

}  // namespace quillon::cli
