// SPDX-License-Identifier: Apache-2.0
#include "platform/adapters.h"

#include "platform/adapter_order.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <memory>

namespace quillon {

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
        out.push_back(
            {p->ifa_name, text, (p->ifa_flags & IFF_UP) != 0, (p->ifa_flags & IFF_LOOPBACK) != 0});
    }
    return out;
}

std::vector<Adapter> list_ipv4_adapters() {
    std::vector<Adapter> out = adapters_from(system_ipv4_addresses());
    order_adapters(out);
    return out;
}

}  // namespace quillon
