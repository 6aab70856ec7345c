// SPDX-License-Identifier: Apache-2.0
#pragma once
// The machine's network interfaces that have an IPv4 address, with the flags the headless
// program chooses by (getifaddrs on Linux; GetAdaptersAddresses on Windows, where the name is
// the adapter's friendly name in UTF-8).
#include <string>
#include <vector>

#include "platform/ipv4.h"

namespace quillon {

struct NetworkInterface {
    std::string name;  // "eth0"; on Windows "Ethernet 2", "以太网"
    Ipv4 address{};    // its first IPv4 address
    bool loopback = false;
    bool up = false;
};

// One entry per interface that has an IPv4 address, in the system's order; empty when the list
// cannot be read.
std::vector<NetworkInterface> list_network_interfaces();

}  // namespace quillon
