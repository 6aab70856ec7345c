// SPDX-License-Identifier: Apache-2.0
// Opening a URL through xdg-open: an xdg-open of our own, first in PATH, writes down what it got.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/open_url.h"
#include "platform/run_program.h"
#include "support/files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;

std::string read_all(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST(OpenUrlPosix, TheUrlReachesXdgOpenAsOneArgument) {
    TempDir dir;
    const std::string echo = beside_this_program("quillon_argv_echo");
    ASSERT_EQ(::symlink(echo.c_str(), (dir.path() + "/xdg-open").c_str()), 0);
    const std::string marker = dir.path() + "/opened.txt";
    ScopedEnv env;
    env.set("PATH", dir.path().c_str());
    env.set("QUILLON_ARGV_ECHO_TO", marker.c_str());

    const std::string url = "file:///tmp/%E5%9B%BA%E4%BB%B6%20v2/upgrade_user.html";
    ASSERT_EQ(open_url(url), 0);
    const std::string want = std::to_string(url.size()) + ":" + url + "\n";
    std::string got;
    test::wait_until([&] {
        got = read_all(marker);
        return got == want;
    });
    EXPECT_EQ(got, want);

    // A refused URL is not handed over.
    EXPECT_EQ(open_url("/usr/bin/xterm"), -1);
    EXPECT_EQ(open_url("--help"), -1);
}

TEST(OpenUrlPosix, NoHandlerIsAFailure) {
    TempDir dir;
    ScopedEnv env;
    env.set("PATH", dir.path().c_str());
    EXPECT_EQ(open_url("http://127.0.0.1/"), -1);
}

}  // namespace
}  // namespace quillon::test
