// SPDX-License-Identifier: Apache-2.0
// quillon-cli search: one broadcast search on the chosen adapter (or on every adapter that is
// up), answers taken for the search window, each device listed once with its adapter.
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "cli/adapter_choice.h"
#include "cli/found_devices.h"
#include "cli/local_adapters.h"
#include "cli/site_search_verb.h"
#include "cli/verbs.h"
#include "discovery/discovery_endpoints.h"
#include "platform/timing.h"

namespace quillon::cli {

namespace {

struct SearchOptions {
    std::string adapter;
    bool json = false;
    int port = BrelkMulEvent::kPort;
    std::string devices_from;  // --devices-from: the devices of a site list (site_search_verb.h)
};

int run_search(const SearchOptions& opt) {
    const std::vector<LocalAdapter> adapters = list_local_adapters();
    const std::vector<LocalAdapter> chosen = chosen_adapters(adapters, opt.adapter);
    const bool all = opt.adapter == kAllAdapters;
    if (chosen.empty()) {
        if (opt.adapter.empty() || all) {
            std::fprintf(stderr,
                         "search: no network adapter with an IPv4 address is up%s "
                         "(adapters: %s)\n",
                         all ? "" : "; name one with --adapter", adapter_names(adapters).c_str());
            return kExitFailure;
        }
        std::fprintf(stderr, "search: no adapter \"%s\" with an IPv4 address (adapters: %s)\n",
                     opt.adapter.c_str(), adapter_names(adapters).c_str());
        return kExitUsage;
    }

    FoundDevices found;
    DiscoveryEndpoints discovery;
    const auto port = static_cast<uint16_t>(opt.port);
    auto say = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    if (start_endpoints(discovery, &found, chosen, port, "search", say) == 0) return kExitFailure;

    const auto window = timing().search_window;
    std::fprintf(stderr, "Searching on %s for %lld ms...\n", listening_adapters(discovery).c_str(),
                 static_cast<long long>(window.count()));
    const auto opened = std::chrono::steady_clock::now();
    discovery.search(1);
    std::this_thread::sleep_until(opened + window);
    discovery.stop();  // from here on nothing is added

    std::vector<FoundDevice> devices = found.list();
    for (FoundDevice& d : devices) d.adapter = discovery.adapter_of(d.ip);
    std::vector<SearchedAdapter> searched;
    for (std::size_t i = 0; i < discovery.size(); ++i)
        if (discovery.listening(i))
            searched.push_back(
                {discovery.adapter(i).name, ipv4_text(discovery.adapter(i).address)});
    std::fprintf(stderr, "%zu device%s found\n", devices.size(), devices.size() == 1 ? "" : "s");
    const std::string out = opt.json
                                ? devices_json(devices, searched, all)
                                : (devices.empty() ? std::string() : devices_table(devices, all));
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

}  // namespace

void add_search_verb(CLI::App& app, VerbAction& action) {
    auto opt = std::make_shared<SearchOptions>();
    CLI::App* verb = app.add_subcommand("search",
                                        "List the devices that answer a discovery search");
    // Only "-" starts an option, on Windows too: CLI11's Windows-style options would take a path
    // such as /fw/pkg.zip for an option "/fw" there.
    verb->allow_windows_style_options(false);
    verb->add_option("--adapter", opt->adapter,
                     "Network adapter to search on, or \"all\" for every adapter that is up "
                     "(default: the first one that is up, real adapters before virtual ones; "
                     "see `quillon-cli adapters`)");
    verb->add_flag("--json", opt->json, "Print the devices as JSON");
    verb->add_option(
            "--devices-from", opt->devices_from,
            "Search for the devices of a site list, each at its address, and tell which answer "
            "as listed (exit code 1 when some do not)")
        ->option_text("FILE");
    // For tests that cannot use the devices' port.
    verb->add_option("--port", opt->port, "UDP port")->check(CLI::Range(1, 65535))->group("");
    verb->callback([opt, &action] {
        action = [opt] {
            if (!opt->devices_from.empty())
                return run_site_search({opt->devices_from, opt->adapter, opt->json, opt->port});
            return run_search(*opt);
        };
    });
}

}  // namespace quillon::cli
