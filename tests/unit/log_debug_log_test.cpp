// SPDX-License-Identifier: Apache-2.0
// The debug log (standard output redirected into log/log_YYYYMMDD_HHMMSS.txt) and the start-up
// of the run's logs. Everything that redirects standard output runs in a forked child.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <thread>

#include "support/child_process.h"
#include "log/log_file.h"
#include "log_text_match.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using test::read_file;
using test::run_in_child;
using test::TempDir;

std::string debug_name_now() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char buf[64];
    std::strftime(buf, sizeof buf, "log_%Y%m%d_%H%M%S.txt", &t);
    return buf;
}

std::vector<std::string> debug_logs_in(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        std::string name = e.path().filename().string();
        if (test::is_debug_log_name(name)) out.push_back(name);
    }
    return out;
}

TEST(DebugLog, StandardOutputOfEveryThreadLandsInTheFile) {
    TempDir dir;
    TempDir record;  // the child tells the parent the path and the names it saw around the call
    int code = run_in_child([&]() -> int {
        if (::chdir(dir.path().c_str()) != 0) return 10;
        std::printf("before the redirection\n");
        std::string before = debug_name_now();
        std::string path = StartDebugLog();
        std::string after = debug_name_now();
        if (path.empty()) return 11;
        test::write_file(record / "path", path);
        test::write_file(record / "names", before + "\n" + after);
        std::thread worker([] { std::printf("from a worker %d\n", 42); });
        worker.join();
        std::cout << "from iostream" << std::endl;
        // Line-buffered: the lines are in the file before anything flushes or exits.
        std::string content = read_file(path);
        if (content != "from a worker 42\nfrom iostream\n") return 12;
        return 0;
    });
    ASSERT_EQ(code, 0);

    std::string path = read_file(record / "path");
    std::string names = read_file(record / "names");
    std::string name = std::filesystem::path(path).filename().string();
    EXPECT_EQ(std::filesystem::path(path).parent_path().string(), dir / "log");
    EXPECT_TRUE(test::is_debug_log_name(name)) << name;
    // The name carries the local time of the call.
    EXPECT_LE(names.substr(0, names.find('\n')), name);
    EXPECT_LE(name, names.substr(names.find('\n') + 1));
    EXPECT_EQ(read_file(path), "from a worker 42\nfrom iostream\n");
}

TEST(DebugLog, AFolderThatCannotBeMadeLeavesStandardOutputAlone) {
    TempDir dir;
    test::write_file(dir / "log", "a file where the folder should be");
    int code = run_in_child([&]() -> int {
        struct stat before {
        }, after{};
        if (::fstat(1, &before) != 0) return 10;
        if (!StartDebugLog(dir / "log").empty()) return 11;
        if (::fstat(1, &after) != 0) return 12;
        return before.st_ino == after.st_ino && before.st_dev == after.st_dev ? 0 : 13;
    });
    EXPECT_EQ(code, 0);
}

TEST(OpenLogs, WithoutDebugModeOnlyTheEmptyReportExists) {
    TempDir dir;
    test::write_file(dir / "stale.txt", "");
    {
        RunLogs logs;
        open_logs(dir.path(), false, logs);
        EXPECT_TRUE(logs.userReport.is_open());
        EXPECT_FALSE(logs.deviceLog.is_open());
        EXPECT_TRUE(logs.debug_log_path.empty());
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "log"));
    EXPECT_TRUE(test::exists(dir / "log/upgrade_user.html"));
    EXPECT_EQ(read_file(dir / "log/upgrade_user.html"), "");
    EXPECT_FALSE(test::exists(dir / "log/upgrade_dev.log"));
    EXPECT_TRUE(debug_logs_in(dir / "log").empty());
}

TEST(OpenLogs, ASecondStartEmptiesTheReport) {
    TempDir dir;
    {
        RunLogs logs;
        open_logs(dir.path(), false, logs);
        logs.userReport.WriteTagged("SEARCH", "upgrade success: IP:%s MAC:%s", "1.1.1.1", "m");
    }
    EXPECT_NE(read_file(dir / "log/upgrade_user.html"), "");
    RunLogs logs;
    open_logs(dir.path(), false, logs);
    EXPECT_EQ(read_file(dir / "log/upgrade_user.html"), "");
}

TEST(OpenLogs, DebugModeWritesTheDeviceLogAndRedirectsStandardOutput) {
    TempDir dir;
    int code = run_in_child([&]() -> int {
        RunLogs logs;
        open_logs(dir.path(), true, logs);
        if (logs.debug_log_path.empty() || !logs.deviceLog.is_open()) return 10;
        std::printf("diagnostic line\n");
        return 0;
    });
    ASSERT_EQ(code, 0);
    std::string dev = read_file(dir / "log/upgrade_dev.log");
    EXPECT_TRUE(test::match_with_ts(dev, "[{ts}] [INFO] upgrade start !\n\n")) << dev;
    EXPECT_EQ(read_file(dir / "log/upgrade_user.html"), "");
    auto logs = debug_logs_in(dir / "log");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(read_file(dir / "log/" + logs[0]), "diagnostic line\n");
}

TEST(OpenLogs, AnUncreatableFolderIsReportedAndStartUpGoesOn) {
    TempDir dir;
    test::write_file(dir / "log", "not a folder");
    RunLogs logs;
    testing::internal::CaptureStderr();
    open_logs(dir.path(), false, logs);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Failed to open log file: " + dir / "log/upgrade_user.html" + "\n");
    EXPECT_FALSE(logs.userReport.is_open());
    logs.userReport.WriteTagged("USR", "dropped");
}

}  // namespace
}  // namespace quillon
