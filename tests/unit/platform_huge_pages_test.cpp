// SPDX-License-Identifier: Apache-2.0
// Huge pages for the image buffers: counting the kernel's free 2 MiB blocks.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/huge_pages.h"

namespace quillon::test {
namespace {

TEST(HugePages, FreeBlocksCountedFromEveryZoneAtAndAboveTheHugeOrder) {
    const char* text =
        "Node 0, zone      DMA      0      0      0      0      0      0      0      0      1      1      3 \n"
        "Node 0, zone    DMA32      1      2      2      2      1      2      0      3      3      1    753 \n"
        "Node 0, zone   Normal  15745  14496  13050   7222   3740   1843    961    457    203     49   1911 \n";
    // Order 9 counts once, order 10 (4 MiB) twice.
    EXPECT_EQ(free_huge_pages(text, 9), std::size_t((1 + 3 * 2) + (1 + 753 * 2) + (49 + 1911 * 2)));
    // With larger base pages the huge order is lower and every block above it counts double again.
    EXPECT_EQ(free_huge_pages("Node 0, zone Normal 5 4 3 2 1\n", 3), std::size_t(2 + 1 * 2));
    // Other lines, torn lines and nothing at all count nothing; a torn line keeps what it has.
    EXPECT_EQ(free_huge_pages("", 9), 0u);
    EXPECT_EQ(free_huge_pages(
                  "zone Normal 1 1 1 1 1 1 1 1 1 7\nNode 0, zone Normal 0 0 0 0 0 0 0 0 0 4 x 9\n",
                  9),
              4u);
    // A node of its own adds up.
    EXPECT_EQ(
        free_huge_pages(
            "Node 0, zone Normal 0 0 0 0 0 0 0 0 0 1 0\nNode 1, zone Normal 0 0 0 0 0 0 0 0 0 2 1\n",
            9),
        5u);
}

}  // namespace
}  // namespace quillon::test
