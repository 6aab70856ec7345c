#include "platform/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <memory>

namespace quillon {

std::vector<Adapter> adapters_from(const std::vector<InterfaceAddress>& addresses) {
    std::vector<Adapter> out;
    std::vector<std::string> seen;  // interfaces already decided, listed or skipped
    for (const auto& a : addresses) {
        std::string name = a.interface_name.substr(0, a.interface_name.find(':'));
        bool known = false;
        for (const auto& s : seen) known = known || s == name;
        if (known) continue;
        seen.push_back(name);
        if (a.ipv4 == "127.0.0.1") continue;
        out.push_back({name, a.ipv4});
    }
    return out;
}

std::vector<InterfaceAddress> system_ipv4_addresses() {
    std::vector<InterfaceAddress> out;
    ifaddrs* head = nullptr;
    if (::getifaddrs(&head) != 0) return out;
    std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> guard(head, ::freeifaddrs);
    for (const ifaddrs* p = head; p; p = p->ifa_next) {
        if (!p->ifa_addr || p->ifa_addr->sa_family != AF_INET || !p->ifa_name) continue;
        const auto* sin = reinterpret_cast<const sockaddr_in*>(p->ifa_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (!::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text)) continue;
        out.push_back({p->ifa_name, text});
    }
    return out;
}

std::vector<Adapter> list_ipv4_adapters() { return adapters_from(system_ipv4_addresses()); }

}  // namespace quillon
