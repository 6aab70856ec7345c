// SPDX-License-Identifier: Apache-2.0
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <memory>

#include "platform/network_interfaces.h"
#include "platform/utf16_win.h"

namespace quillon {

std::vector<NetworkInterface> list_network_interfaces() {
    std::vector<NetworkInterface> out;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::unique_ptr<unsigned char[]> buf;
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the two calls: a few tries.
    for (int tries = 0; tries < 4 && rc == ERROR_BUFFER_OVERFLOW; ++tries) {
        buf = std::make_unique<unsigned char[]>(size);
        rc = ::GetAdaptersAddresses(AF_INET, flags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.get()), &size);
    }
    if (rc != NO_ERROR) return out;
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buf.get()); a; a = a->Next) {
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            const sockaddr* sa = u->Address.lpSockaddr;
            if (!sa || sa->sa_family != AF_INET) continue;
            NetworkInterface i;
            i.name = a->FriendlyName ? narrow(a->FriendlyName) : std::string(a->AdapterName);
            i.address.net = reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr;
            i.loopback = a->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            i.up = a->OperStatus == IfOperStatusUp;
            out.push_back(i);
            break;  // the first IPv4 address of the interface
        }
    }
    return out;
}

}  // namespace quillon
