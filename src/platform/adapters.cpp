// SPDX-License-Identifier: Apache-2.0
#include "platform/adapters.h"

namespace quillon {

std::vector<Adapter> adapters_from(const std::vector<InterfaceAddress>& addresses) {
    std::vector<Adapter> out;
    std::vector<std::string> seen;  // interfaces already decided, listed or skipped
    for (const auto& a : addresses) {
        std::string name = a.interface_name.substr(0, a.interface_name.find(':'));
        bool known = false;
        for (const auto& s : seen) known = known || s == name;
        if (known) continue;
        seen.push_back(name);
        if (a.ipv4 == "127.0.0.1") continue;
        out.push_back({name, a.ipv4, a.up, a.loopback});
    }
    return out;
}

}  // namespace quillon
