#pragma once
// The machine's IPv4 adapters, for choosing the address discovery binds to. Kept small and
// local to the headless program.
#include <string>
#include <vector>

#include "platform/network_interfaces.h"

namespace quillon::cli {

using LocalAdapter = NetworkInterface;

// One entry per interface that has an IPv4 address (its first one), in the system's order.
std::vector<LocalAdapter> list_local_adapters();

// The adapter called `name`, or the first non-loopback adapter that is up when `name` is
// empty; null when there is none.
const LocalAdapter* choose_adapter(const std::vector<LocalAdapter>& adapters, const std::string& name);

}  // namespace quillon::cli
