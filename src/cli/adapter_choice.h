// SPDX-License-Identifier: Apache-2.0
#pragma once
// Which adapters a verb searches on (--adapter NAME, --adapter all, or the default), and the
// start of their discovery endpoints with the messages a person needs when a port is taken.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/local_adapters.h"
#include "discovery/discovery_endpoints.h"

namespace quillon::cli {

// "eth0, wlan0", or "none".
std::string adapter_names(const std::vector<LocalAdapter>& adapters);

// The adapters `wanted` names: "" the default one (choose_adapter), "all" every adapter that is
// up and not loopback, else the adapter of that name. Empty when there is none.
std::vector<LocalAdapter> chosen_adapters(const std::vector<LocalAdapter>& adapters,
                                          const std::string& wanted);

// Starts `endpoints` on `chosen` (UDP `port`), answers to `sink`. Says through `say`, each text
// beginning with `verb`, what could not listen; an adapter that cannot listen while others can
// is left out with a warning. Returns the number of adapters that listen (0: none, after the
// reason was said).
int start_endpoints(DiscoveryEndpoints& endpoints, FoundDeviceSink* sink,
                    const std::vector<LocalAdapter>& chosen, uint16_t port, const std::string& verb,
                    const std::function<void(const std::string&)>& say);

// "lab0 (198.18.0.1)" of every adapter that listens, joined by ", ".
std::string listening_adapters(const DiscoveryEndpoints& endpoints);

}  // namespace quillon::cli
