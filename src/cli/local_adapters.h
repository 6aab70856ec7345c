// SPDX-License-Identifier: Apache-2.0
#pragma once
// The machine's IPv4 adapters, for choosing the address discovery binds to. Kept small and
// local to the headless program.
#include <string>
#include <vector>

#include "platform/network_interfaces.h"

namespace quillon::cli {

using LocalAdapter = NetworkInterface;

// The --adapter value that asks for every adapter that is up.
inline constexpr const char* kAllAdapters = "all";

// One entry per interface that has an IPv4 address (its first one), in the order of
// order_adapters: real adapters that are up, then virtual ones, then those that are down, then
// loopback; the system's order within each group.
std::vector<LocalAdapter> list_local_adapters();

// The adapter called `name`, or the first non-loopback adapter that is up when `name` is
// empty; null when there is none.
const LocalAdapter* choose_adapter(const std::vector<LocalAdapter>& adapters,
                                   const std::string& name);

// Every adapter that is up and not loopback (for --adapter all), in the list's order.
std::vector<LocalAdapter> adapters_up(const std::vector<LocalAdapter>& adapters);

}  // namespace quillon::cli
