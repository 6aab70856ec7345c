// SPDX-License-Identifier: Apache-2.0
#pragma once
// The machine's IPv4 network adapters, as the adapter box and the default address range use them.
#include <string>
#include <vector>

namespace quillon {

struct Adapter {
    std::string name;  // Linux: the interface name, e.g. "eth0"; Windows: the friendly name, UTF-8
    std::string ipv4;  // first IPv4 address of the interface, dotted
    bool up = true;    // the interface is up (Windows: operational)
    bool loopback = false;  // a loopback interface
};

// One IPv4 address as the system lists it, in the system's order.
struct InterfaceAddress {
    std::string interface_name;  // Linux: may carry an address label ("eth0:1"); Windows: the
                                 // adapter's friendly name, UTF-8
    std::string ipv4;            // dotted
    bool up = true;              // the interface is up (Windows: operational)
    bool loopback = false;       // a loopback interface
};

// Interfaces in the order they first appear, each with its first IPv4 address; an interface
// whose first address is "127.0.0.1" is left out. Address labels ("eth0:1") belong to their
// interface ("eth0"): Linux interface names cannot contain ':'.
std::vector<Adapter> adapters_from(const std::vector<InterfaceAddress>& addresses);

// The system's IPv4 addresses (getifaddrs; GetAdaptersAddresses), every one, up or not, in the
// system's order; empty when the list cannot be read.
std::vector<InterfaceAddress> system_ipv4_addresses();

// The adapter list of the adapter box, in the order of order_adapters (adapter_order.h): its
// first entry is the likely site network. Linux: adapters_from(system_ipv4_addresses()).
// Windows: each adapter that is up with the first of its IPv4 addresses, unless that is
// "127.0.0.1" (an adapter that is not up keeps a static address that nothing can bind to).
std::vector<Adapter> list_ipv4_adapters();

}  // namespace quillon
