// SPDX-License-Identifier: Apache-2.0
// Image buffers on Linux: the advice for transparent huge pages, read back from the process's
// memory map (/proc/self/smaps).
#include <gtest/gtest.h>

#include <filesystem>

#include "support/debug_lines.h"
#include "engine_test_support.h"
#include "support/mapping_flags.h"
#include "platform/huge_pages.h"

namespace quillon::test {
namespace {

using EngineLoad = EngineTest;

// A large image's buffer asks the kernel for huge pages (filling it is then far cheaper); the
// advice shows as "hg" in the flags of the mapping that holds the buffer's middle.
TEST_F(EngineLoad, LargeImageBuffersAskForHugePages) {
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage"))
        GTEST_SKIP() << "this kernel has no transparent huge pages";
    if (free_huge_pages_now() < 16) GTEST_SKIP() << "too few free 2 MiB blocks on this machine now";
    const std::size_t n = std::size_t(12) << 20;
    write_image(dir / "big.img", ImageSpec{pattern(n, 5), 0, 0});
    engine.m_url[0] = dir / "big.img";
    test::DebugLines debug_lines;
    ASSERT_TRUE(engine.load_images());
    debug_lines.take();
    const uint8_t* middle = engine.m_img_data[0].get() + n / 2;
    EXPECT_TRUE(asks_for_huge_pages(middle)) << mapping_flags(middle);
}

}  // namespace
}  // namespace quillon::test
