// SPDX-License-Identifier: Apache-2.0
#include "cli/local_adapters.h"

#include "platform/adapter_order.h"

namespace quillon::cli {

std::vector<LocalAdapter> list_local_adapters() {
    std::vector<LocalAdapter> list = list_network_interfaces();
    order_adapters(list);
    return list;
}

const LocalAdapter* choose_adapter(const std::vector<LocalAdapter>& adapters,
                                   const std::string& name) {
    for (const auto& a : adapters) {
        if (name.empty() ? (!a.loopback && a.up) : a.name == name) return &a;
    }
    return nullptr;
}

std::vector<LocalAdapter> adapters_up(const std::vector<LocalAdapter>& adapters) {
    std::vector<LocalAdapter> out;
    for (const auto& a : adapters)
        if (a.up && !a.loopback) out.push_back(a);
    return out;
}

}  // namespace quillon::cli
