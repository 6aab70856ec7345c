// SPDX-License-Identifier: Apache-2.0
#pragma once
// The kernel's flags for the mapping that holds an address, as /proc/self/smaps gives them
// ("VmFlags: rd wr mr mw me ac hg" ...); "" when no mapping holds it.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace quillon::test {

inline std::string mapping_flags(const void* addr) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<uintptr_t>(addr);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long lo = 0, hi = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &lo, &hi) == 2)  // a mapping's first line
            inside = at >= lo && at < hi;
        if (inside && line.rfind("VmFlags:", 0) == 0) return line + " ";
    }
    return "";
}

inline bool asks_for_huge_pages(const void* addr) {
    return mapping_flags(addr).find(" hg ") != std::string::npos;
}

}  // namespace quillon::test
