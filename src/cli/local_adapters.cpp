#include "cli/local_adapters.h"

namespace quillon::cli {

std::vector<LocalAdapter> list_local_adapters() { return list_network_interfaces(); }

const LocalAdapter* choose_adapter(const std::vector<LocalAdapter>& adapters, const std::string& name) {
    for (const auto& a : adapters) {
        if (name.empty() ? (!a.loopback && a.up) : a.name == name) return &a;
    }
    return nullptr;
}

}  // namespace quillon::cli
