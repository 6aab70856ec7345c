#include "cli/local_adapters.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <memory>

namespace quillon::cli {

std::vector<LocalAdapter> list_local_adapters() {
    std::vector<LocalAdapter> out;
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0) return out;
    std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> list(raw, &::freeifaddrs);
    for (const ifaddrs* i = raw; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_name) continue;
        bool known = false;
        for (const auto& a : out) known = known || a.name == i->ifa_name;
        if (known) continue;
        LocalAdapter a;
        a.name = i->ifa_name;
        a.address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
        a.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
        a.up = (i->ifa_flags & IFF_UP) != 0;
        out.push_back(a);
    }
    return out;
}

const LocalAdapter* choose_adapter(const std::vector<LocalAdapter>& adapters, const std::string& name) {
    for (const auto& a : adapters) {
        if (name.empty() ? (!a.loopback && a.up) : a.name == name) return &a;
    }
    return nullptr;
}

}  // namespace quillon::cli
