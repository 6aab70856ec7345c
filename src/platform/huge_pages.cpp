#include "platform/huge_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
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
            if (order >= huge_order && order - huge_order < 20) total += count << (order - huge_order);
        }
    }
    return total;
}

std::size_t free_huge_pages_now() {
    const long page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0 || kHugePageBytes % std::size_t(page) != 0) return 0;
    int order = 0;
    while ((std::size_t(page) << order) < kHugePageBytes) ++order;
    std::ifstream f("/proc/buddyinfo");
    if (!f) return 0;
    std::ostringstream text;
    text << f.rdbuf();
    return free_huge_pages(text.str(), order);
}

bool advise_huge_pages(void* buf, std::size_t n) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(buf);
    const uintptr_t first = (start + kHugePageBytes - 1) & ~uintptr_t(kHugePageBytes - 1);
    const uintptr_t end = (start + n) & ~uintptr_t(kHugePageBytes - 1);
    if (end <= first) return false;
    const std::size_t wanted = (end - first) / kHugePageBytes;
    if (free_huge_pages_now() < 2 * wanted) return false;
    return ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE) == 0;
}

}  // namespace quillon
