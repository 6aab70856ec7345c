// SPDX-License-Identifier: Apache-2.0
// Lines added to a durable file are all there, whole, in order; failures are results.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/durable_file.h"

#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {
namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(DurableFile, AddsAtTheEndAcrossReopensAndReportsFailures) {
    const test::TempDir tmp;
    const fs::path dir = test::fs_path(tmp.path());
    const fs::path file = dir / "j.jsonl";
    {
        DurableFile f;
        EXPECT_FALSE(f.is_open());
        EXPECT_FALSE(f.append("x\n"));  // not open: nothing written, and said so
        ASSERT_TRUE(f.open(file.string()));
        EXPECT_TRUE(f.append("one\n"));
        std::string big(1 << 20, 'b');
        big.back() = '\n';
        EXPECT_TRUE(f.append(big));
    }
    {
        DurableFile f;
        ASSERT_TRUE(f.open(file.string()));  // an existing file is added to, not emptied
        EXPECT_TRUE(f.append("three\n"));
        f.close();
        EXPECT_FALSE(f.append("four\n"));
    }
    std::string want = "one\n";
    want.append((1 << 20) - 1, 'b');
    want += "\nthree\n";
    EXPECT_EQ(slurp(file), want);

    DurableFile g;
    EXPECT_FALSE(g.open((dir / "no" / "such" / "folder.jsonl").string()));
    EXPECT_FALSE(g.append("x\n"));
}

// The path is UTF-8 on every system: a folder named in Chinese is the folder written to.
TEST(DurableFile, TakesAUtf8Path) {
    const test::TempDir tmp;
    const fs::path dir = test::fs_path(tmp.path()) / u8"持久 日志";
    fs::create_directories(dir);
    const std::u8string file = (dir / u8"记录.jsonl").u8string();
    {
        DurableFile f;
        ASSERT_TRUE(f.open(std::string(file.begin(), file.end())));
        EXPECT_TRUE(f.append("one\n"));
    }
    EXPECT_EQ(slurp(fs::path(file)), "one\n");
}

}  // namespace
}  // namespace quillon
