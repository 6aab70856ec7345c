// SPDX-License-Identifier: Apache-2.0
// Files and folders by UTF-8 path, with names that need more than ASCII and spaces.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/local_time.h"

namespace quillon {
namespace {

std::string utf8(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

// A fresh folder named with Chinese characters and a space, removed at the end.
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        root_ = utf8(std::filesystem::temp_directory_path()) + "/quillon-文件 " +
                std::to_string(stamp);
        ASSERT_TRUE(make_directory(root_));
    }
    void TearDown() override { delete_tree(root_); }
    std::string at(const std::string& name) const { return root_ + "/" + name; }

    static void write(const std::string& path, const std::string& bytes) {
        std::FILE* f = open_for_writing(path);
        ASSERT_NE(f, nullptr) << path;
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        ASSERT_EQ(std::fclose(f), 0);
    }

    std::string root_;
};

TEST_F(FilesTest, WritesExactlyTheBytesGivenAndReadsThemAtAnyOffset) {
    const std::string path = at("固件 v2.img");
    const std::string bytes = std::string("a\nb\r\n\x1a\0z", 8);
    write(path, bytes);
    EXPECT_TRUE(path_exists(path));
    EXPECT_TRUE(is_regular_file(path));

    ReadOnlyFile f(path);
    ASSERT_TRUE(f.valid());
    uint64_t size = 0;
    ASSERT_TRUE(f.regular_size(size));
    EXPECT_EQ(size, bytes.size()) << "no line ends added: binary on every system";
    char got[8] = {};
    ASSERT_TRUE(f.read_at(got, 8, 0));
    EXPECT_EQ(std::string(got, 8), bytes);
    ASSERT_TRUE(f.read_at(got, 3, 5));
    EXPECT_EQ(std::string(got, 3), bytes.substr(5, 3));
    EXPECT_FALSE(f.read_at(got, 4, 6)) << "past the end";

    write(path, "x");  // emptied first
    ReadOnlyFile again(path);
    ASSERT_TRUE(again.regular_size(size));
    EXPECT_EQ(size, 1u);
}

TEST_F(FilesTest, FoldersAreListedMadeAndRemovedWhole) {
    ASSERT_TRUE(make_directory(at("子 目录")));
    EXPECT_FALSE(make_directory(at("子 目录"))) << "it exists already";
    EXPECT_FALSE(is_regular_file(at("子 目录")));
    EXPECT_TRUE(path_exists(at("子 目录")));
    write(at("子 目录/内核.img"), "k");
    ASSERT_TRUE(make_directory(at("子 目录/深")));
    write(at("子 目录/深/x"), "x");
    write(at("boot.img"), "b");

    std::vector<FolderEntry> entries;
    ASSERT_TRUE(list_folder(root_, entries));
    ASSERT_EQ(entries.size(), 2u);
    for (const FolderEntry& e : entries) {
        if (e.name == "boot.img") {
            EXPECT_TRUE(e.regular_file);
        } else {
            EXPECT_EQ(e.name, "子 目录");
            EXPECT_FALSE(e.regular_file);
        }
    }
    EXPECT_FALSE(list_folder(at("missing"), entries));

    EXPECT_FALSE(delete_tree(at("boot.img"))) << "a file is no folder";
    EXPECT_TRUE(delete_tree(at("子 目录")));
    EXPECT_FALSE(path_exists(at("子 目录")));
    EXPECT_TRUE(path_exists(at("boot.img")));
    EXPECT_FALSE(delete_tree(""));

    std::string why;
    EXPECT_FALSE(path_exists(at("missing"), &why));
    EXPECT_FALSE(why.empty());
}

TEST_F(FilesTest, OneFileIsReadWholeOrRemovedAndNeverAFolder) {
    const std::string path = at("日志 1.jsonl");
    const std::string bytes = std::string("{\"a\":1}\r\n\0x", 11);
    write(path, bytes);
    std::string got = "old";
    ASSERT_TRUE(read_whole_file(path, got, bytes.size()));
    EXPECT_EQ(got, bytes);
    EXPECT_FALSE(read_whole_file(path, got, bytes.size() - 1)) << "longer than allowed";
    EXPECT_TRUE(got.empty());
    write(at("empty"), "");
    EXPECT_TRUE(read_whole_file(at("empty"), got, 10));
    EXPECT_TRUE(got.empty());
    EXPECT_FALSE(read_whole_file(at("missing"), got, 10));
    ASSERT_TRUE(make_directory(at("子")));
    EXPECT_FALSE(read_whole_file(at("子"), got, 1 << 20)) << "a folder is no file";

    EXPECT_FALSE(remove_file(at("子"))) << "a folder is not removed";
    EXPECT_TRUE(path_exists(at("子")));
    EXPECT_TRUE(remove_file(path));
    EXPECT_FALSE(path_exists(path));
    EXPECT_FALSE(remove_file(path)) << "nothing left to remove";
    EXPECT_FALSE(remove_file(""));

    EXPECT_EQ(file_name_of(path), "日志 1.jsonl");
    EXPECT_EQ(file_name_of("固件.img"), "固件.img");
    EXPECT_EQ(file_name_of("a/"), "");
    EXPECT_EQ(file_name_of(std::string("a") + path_separator() + "b"), "b");
}

TEST_F(FilesTest, PathsAreMadeAbsoluteAgainstTheWorkingDirectory) {
    const std::string abs = absolute_path("a/./b/../c");
    const std::string cwd = current_directory();
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(abs.rfind(cwd, 0), 0u) << abs;
    EXPECT_EQ(abs.substr(abs.size() - 3), std::string("a") + abs[abs.size() - 2] + "c");
    const std::string x = absolute_path(at("x"));
    EXPECT_EQ(absolute_path(x), x) << "an absolute path stays as it is";
    EXPECT_TRUE(x.find("quillon-文件 ") != std::string::npos) << x;
    EXPECT_TRUE(is_path_separator('/'));
    EXPECT_FALSE(is_path_separator('a'));
}

TEST(PlatformLocalTime, GivesTheCalendarOfAMoment) {
    std::tm t{};
    ASSERT_TRUE(local_time(std::time_t(86400 * 365), t));
    EXPECT_TRUE(t.tm_year == 70 || t.tm_year == 71) << t.tm_year;  // 1971-01-01 in any zone
}

TEST(PlatformLocalTime, TheTextIsZeroPaddedAndEmptyForAMomentWithoutLocalTime) {
    // 1971-01-01 00:00:00 UTC is 1970-12-31 or 1971-01-01 in any zone.
    const std::string text = local_time_text(std::time_t(86400 * 365));
    EXPECT_TRUE(std::regex_match(text, std::regex(R"((1970-12-31|1971-01-01) \d\d:\d\d:\d\d)")))
        << text;
    EXPECT_EQ(local_time_text(std::numeric_limits<std::time_t>::max()), "");
    EXPECT_EQ(local_time_text().size(), 19u);
}

}  // namespace
}  // namespace quillon
