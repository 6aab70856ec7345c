// SPDX-License-Identifier: Apache-2.0
#include "platform/huge_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <sstream>

namespace quillon {

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
