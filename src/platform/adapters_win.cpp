// SPDX-License-Identifier: Apache-2.0
#include "platform/adapters.h"

// winsock2.h before windows.h, and the IP Helper headers after both.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstdio>
#include <vector>

#include "platform/adapter_order.h"
#include "platform/utf16_win.h"

namespace quillon {
namespace {

// The adapter list of the system, IPv4 addresses only; empty when it cannot be read.
std::vector<unsigned char> adapter_table() {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buf;
    // The list can grow between the call that tells its size and the one that fills it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        buf.assign(size, 0);
        const ULONG r = ::GetAdaptersAddresses(AF_INET, flags, nullptr,
                                               reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data()),
                                               &size);
        if (r == ERROR_SUCCESS) return buf;
        if (r != ERROR_BUFFER_OVERFLOW) break;
    }
    return {};
}

std::string dotted(const SOCKET_ADDRESS& a) {
    if (!a.lpSockaddr || a.lpSockaddr->sa_family != AF_INET ||
        a.iSockaddrLength < int(sizeof(sockaddr_in)))
        return {};
    const auto* sin = reinterpret_cast<const sockaddr_in*>(a.lpSockaddr);
    const auto* b = reinterpret_cast<const unsigned char*>(&sin->sin_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

template <class Visit>
void for_each_adapter(Visit visit) {
    std::vector<unsigned char> table = adapter_table();
    if (table.empty()) return;
    for (auto* p = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(table.data()); p; p = p->Next) {
        std::vector<std::string> addresses;
        for (auto* u = p->FirstUnicastAddress; u; u = u->Next) {
            std::string text = dotted(u->Address);
            if (!text.empty()) addresses.push_back(std::move(text));
        }
        const std::string name = p->FriendlyName ? narrow(p->FriendlyName) : std::string();
        visit(name, addresses, p->OperStatus == IfOperStatusUp,
              p->IfType == IF_TYPE_SOFTWARE_LOOPBACK);
    }
}

}  // namespace

std::vector<InterfaceAddress> system_ipv4_addresses() {
    std::vector<InterfaceAddress> out;
    for_each_adapter([&](const std::string& name, const std::vector<std::string>& addresses,
                         bool up, bool loopback) {
        for (const auto& a : addresses) out.push_back({name, a, up, loopback});
    });
    return out;
}

std::vector<Adapter> list_ipv4_adapters() {
    std::vector<Adapter> out;
    for_each_adapter([&](const std::string& name, const std::vector<std::string>& addresses,
                         bool up, bool loopback) {
        if (!up || addresses.empty() || addresses.front() == "127.0.0.1") return;
        out.push_back({name, addresses.front(), up, loopback});
    });
    order_adapters(out);
    return out;
}

}  // namespace quillon
