// quillon-cli search: one broadcast search on the chosen adapter, answers taken for the
// search window, each device listed once.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "cli/found_devices.h"
#include "cli/local_adapters.h"
#include "cli/verbs.h"
#include "discovery/brelk_mul_event.h"
#include "platform/socket.h"
#include "platform/timing.h"

namespace quillon::cli {

namespace {

struct SearchOptions {
    std::string adapter;
    bool json = false;
    int port = BrelkMulEvent::kPort;
};

std::string adapter_names(const std::vector<LocalAdapter>& adapters) {
    std::string names;
    for (const auto& a : adapters) names += (names.empty() ? "" : ", ") + a.name;
    return names.empty() ? "none" : names;
}

int run_search(const SearchOptions& opt) {
    const std::vector<LocalAdapter> adapters = list_local_adapters();
    const LocalAdapter* adapter = choose_adapter(adapters, opt.adapter);
    if (!adapter) {
        if (opt.adapter.empty()) {
            std::fprintf(stderr, "search: no network adapter with an IPv4 address is up; name one "
                                 "with --adapter (adapters: %s)\n", adapter_names(adapters).c_str());
            return kExitFailure;
        }
        std::fprintf(stderr, "search: no adapter \"%s\" with an IPv4 address (adapters: %s)\n",
                     opt.adapter.c_str(), adapter_names(adapters).c_str());
        return kExitUsage;
    }
    const std::string address_text = ipv4_text(adapter->address);
    const char* address = address_text.c_str();

    FoundDevices found;
    BrelkMulEvent discovery;
    const auto port = static_cast<uint16_t>(opt.port);
    if (discovery.start(&found, adapter->address, port) != 0) {
        std::fprintf(stderr, "search: cannot open the discovery sockets: %s\n",
                     socket_error_text(last_socket_error()).c_str());
        return kExitFailure;
    }
    const int local_err = discovery.local_bind_errno();
    const int any_err = discovery.any_bind_errno();
    if (local_err && any_err) {
        std::fprintf(stderr, "search: cannot listen on UDP port %d (%s); is another Quillon "
                             "program running?\n", opt.port, socket_error_text(local_err).c_str());
        return kExitFailure;
    }
    if (local_err || any_err) {
        std::fprintf(stderr, "search: warning: UDP port %d on %s: %s; some answers may be missed\n",
                     opt.port, local_err ? address : "0.0.0.0",
                     socket_error_text(local_err ? local_err : any_err).c_str());
    }

    const auto window = timing().search_window;
    std::fprintf(stderr, "Searching on %s (%s) for %lld ms...\n", adapter->name.c_str(), address,
                 static_cast<long long>(window.count()));
    const auto opened = std::chrono::steady_clock::now();
    discovery.search(1);
    std::this_thread::sleep_until(opened + window);
    discovery.stop();  // from here on nothing is added

    const std::vector<FoundDevice> devices = found.list();
    std::fprintf(stderr, "%zu device%s found\n", devices.size(), devices.size() == 1 ? "" : "s");
    const std::string out = opt.json ? devices_json(devices, adapter->name, address)
                                     : (devices.empty() ? std::string() : devices_table(devices));
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

}  // namespace

void add_search_verb(CLI::App& app, VerbAction& action) {
    auto opt = std::make_shared<SearchOptions>();
    CLI::App* verb = app.add_subcommand("search", "List the devices that answer a discovery search");
    // Only "-" starts an option, on Windows too: CLI11's Windows-style options would take a path
    // such as /fw/pkg.zip for an option "/fw" there.
    verb->allow_windows_style_options(false);
    verb->add_option("--adapter", opt->adapter,
                     "Network adapter to search on (default: the first one that is up, not loopback)");
    verb->add_flag("--json", opt->json, "Print the devices as JSON");
    // For tests that cannot use the devices' port.
    verb->add_option("--port", opt->port, "UDP port")->check(CLI::Range(1, 65535))->group("");
    verb->callback([opt, &action] { action = [opt] { return run_search(*opt); }; });
}

}  // namespace quillon::cli
