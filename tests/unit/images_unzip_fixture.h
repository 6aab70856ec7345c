// SPDX-License-Identifier: Apache-2.0
#pragma once
// The set-up of the unzip tests: a package folder with the archive beside a folder that no
// archive may touch.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "images/unzip_package.h"
#include "images_test_support.h"

namespace quillon::test {

// The Unix file type of a symbolic link (S_IFLNK), as zip archives made on Unix store it in the
// high half of an entry's external attributes, whatever system reads the archive.
constexpr unsigned long kUnixLinkMode = 0120000;

// A package folder with the archive, and a sibling folder that no archive may touch.
class UnzipTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(pkg);
        write_file(outside + "/sentinel.txt", "do not touch");
        before = snapshot(outside);
    }
    // The archive must fail, say why, and leave the sibling folder exactly as it was.
    void expect_refused(const std::string& reason_part = "") {
        std::string why;
        EXPECT_EQ(unzip_package(zip, pkg, &why), -1);
        EXPECT_FALSE(why.empty());
        if (!reason_part.empty()) {
            EXPECT_NE(why.find(reason_part), std::string::npos) << why;
        }
        EXPECT_EQ(snapshot(outside), before);
        for (const auto& e : std::filesystem::directory_iterator(t.path()))
            EXPECT_TRUE(e.path() == pkg || e.path() == outside) << e.path();
    }

    TempDir t;
    std::string pkg = t / "pkg";
    std::string outside = t / "outside";
    std::string zip = pkg + "/package.zip";
    TreeSnapshot before;
};

}  // namespace quillon::test
