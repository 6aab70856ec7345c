#pragma once
// The machine's IPv4 network adapters, as the adapter box and the default address range use them.
#include <string>
#include <vector>

namespace quillon {

struct Adapter {
    std::string name;  // interface name, e.g. "eth0"
    std::string ipv4;  // first IPv4 address of the interface, dotted
};

// One IPv4 address as the system lists it, in the system's order.
struct InterfaceAddress {
    std::string interface_name;  // may carry an address label ("eth0:1")
    std::string ipv4;            // dotted
};

// Interfaces in the order they first appear, each with its first IPv4 address; an interface
// whose first address is "127.0.0.1" is left out. Address labels ("eth0:1") belong to their
// interface ("eth0"): Linux interface names cannot contain ':'.
std::vector<Adapter> adapters_from(const std::vector<InterfaceAddress>& addresses);

// The system's IPv4 addresses (getifaddrs); empty when the list cannot be read.
std::vector<InterfaceAddress> system_ipv4_addresses();

// adapters_from(system_ipv4_addresses()).
std::vector<Adapter> list_ipv4_adapters();

}  // namespace quillon
