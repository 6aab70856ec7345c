// SPDX-License-Identifier: Apache-2.0
// Huge pages for the image buffers: advising only the whole blocks inside a buffer.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <filesystem>

#include "support/mapping_flags.h"
#include "platform/huge_pages.h"

namespace quillon::test {
namespace {

// A buffer that does not start on a block boundary: the advice covers the whole blocks inside
// it and not a page of the blocks it only shares with its neighbours.
TEST(HugePages, OnlyWholeBlocksInsideTheBufferAreAdvised) {
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage"))
        GTEST_SKIP() << "this kernel has no transparent huge pages";
    if (free_huge_pages_now() < 8) GTEST_SKIP() << "too few free 2 MiB blocks on this machine now";
    constexpr std::size_t kMap = 12 * kHugePageBytes;
    void* map = ::mmap(nullptr, kMap, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    struct Unmap {
        void* p;
        ~Unmap() { ::munmap(p, kMap); }
    } unmap{map};
    auto* base = static_cast<uint8_t*>(map);
    uint8_t* block = reinterpret_cast<uint8_t*>(
        (reinterpret_cast<uintptr_t>(base) + 2 * kHugePageBytes - 1) &
        ~uintptr_t(kHugePageBytes - 1));

    // From the last page before a boundary to one page past the second boundary after it.
    ASSERT_TRUE(advise_huge_pages(block - 4096, 2 * kHugePageBytes + 8192));
    EXPECT_TRUE(asks_for_huge_pages(block)) << mapping_flags(block);
    EXPECT_TRUE(asks_for_huge_pages(block + 2 * kHugePageBytes - 1));
    EXPECT_FALSE(asks_for_huge_pages(block - 4096)) << mapping_flags(block - 4096);
    EXPECT_FALSE(asks_for_huge_pages(block + 2 * kHugePageBytes));

    // Less than one whole block inside: nothing to advise.
    uint8_t* later = block + 6 * kHugePageBytes;
    EXPECT_FALSE(advise_huge_pages(later + 4096, kHugePageBytes));
    EXPECT_FALSE(asks_for_huge_pages(later + kHugePageBytes / 2));
}

}  // namespace
}  // namespace quillon::test
