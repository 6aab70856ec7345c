// SPDX-License-Identifier: Apache-2.0
#include "cli/adapter_choice.h"

#include "platform/socket.h"

namespace quillon::cli {

std::string adapter_names(const std::vector<LocalAdapter>& adapters) {
    std::string names;
    for (const auto& a : adapters) names += (names.empty() ? "" : ", ") + a.name;
    return names.empty() ? "none" : names;
}

std::vector<LocalAdapter> chosen_adapters(const std::vector<LocalAdapter>& adapters,
                                          const std::string& wanted) {
    if (wanted == kAllAdapters) return adapters_up(adapters);
    const LocalAdapter* one = choose_adapter(adapters, wanted);
    return one ? std::vector<LocalAdapter>{*one} : std::vector<LocalAdapter>{};
}

int start_endpoints(DiscoveryEndpoints& endpoints, FoundDeviceSink* sink,
                    const std::vector<LocalAdapter>& chosen, uint16_t port, const std::string& verb,
                    const std::function<void(const std::string&)>& say) {
    std::vector<DiscoveryEndpoints::Adapter> list;
    for (const auto& a : chosen) list.push_back({a.name, a.address});
    const int opened_error = [&] {
        const int listening = endpoints.start(sink, list, port);
        return listening > 0 ? 0 : last_socket_error();
    }();
    const std::string port_text = std::to_string(port);
    const bool several = endpoints.size() > 1;
    int listening = 0;
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        const BrelkMulEvent& e = endpoints.endpoint(i);
        const std::string name = endpoints.adapter(i).name;
        const std::string address = ipv4_text(endpoints.adapter(i).address);
        const int local_err = e.local_bind_errno(), any_err = e.any_bind_errno();
        if (endpoints.listening(i)) {
            ++listening;
            if (local_err || any_err)
                say("warning: UDP port " + port_text + " on " + (local_err ? address : "0.0.0.0") +
                    ": " + socket_error_text(local_err ? local_err : any_err) +
                    "; some answers may be missed");
            continue;
        }
        const int err = local_err ? local_err : (any_err ? any_err : opened_error);
        say((several ? "warning: " : verb + ": ") + "cannot listen on UDP port " + port_text +
            (several ? " on " + name + " (" + address + ")" : std::string()) + " (" +
            socket_error_text(err) + "); is another Quillon program running?");
    }
    if (several && listening == 0)
        say(verb + ": cannot listen on UDP port " + port_text + " on any adapter");
    return listening;
}

std::string listening_adapters(const DiscoveryEndpoints& endpoints) {
    std::string out;
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        if (!endpoints.listening(i)) continue;
        out += (out.empty() ? "" : ", ") + endpoints.adapter(i).name + " (" +
               ipv4_text(endpoints.adapter(i).address) + ")";
    }
    return out;
}

}  // namespace quillon::cli
