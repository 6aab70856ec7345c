// SPDX-License-Identifier: Apache-2.0
#include "platform/huge_pages.h"

#include <sstream>
#include <string>

namespace quillon {

std::size_t free_huge_pages(std::string_view buddyinfo, int huge_order) {
    std::size_t total = 0;
    std::istringstream in{std::string(buddyinfo)};
    for (std::string line; std::getline(in, line);) {
        // "Node 0, zone   Normal  15745  14496 ... 1911": the counts follow the zone's name.
        const auto zone = line.find("zone");
        if (line.rfind("Node", 0) != 0 || zone == std::string::npos) continue;
        std::istringstream counts(line.substr(zone + 4));
        std::string name;
        counts >> name;
        std::size_t count = 0;
        for (int order = 0; counts >> count; ++order) {
            if (order >= huge_order && order - huge_order < 20)
                total += count << (order - huge_order);
        }
    }
    return total;
}

}  // namespace quillon
