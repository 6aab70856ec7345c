// SPDX-License-Identifier: Apache-2.0
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <memory>

#include "platform/network_interfaces.h"

namespace quillon {

std::vector<NetworkInterface> list_network_interfaces() {
    std::vector<NetworkInterface> out;
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0) return out;
    std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> list(raw, &::freeifaddrs);
    for (const ifaddrs* i = raw; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_name) continue;
        bool known = false;
        for (const auto& a : out) known = known || a.name == i->ifa_name;
        if (known) continue;
        NetworkInterface a;
        a.name = i->ifa_name;
        a.address.net = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
        a.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
        a.up = (i->ifa_flags & IFF_UP) != 0;
        out.push_back(a);
    }
    return out;
}

}  // namespace quillon
