// SPDX-License-Identifier: Apache-2.0
// The debug log (the diagnostic lines in log/log_YYYYMMDD_HHMMSS.txt) and the start-up of the
// run's logs.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <thread>

#include "support/debug_lines.h"
#include "log/debug_line.h"
#include "log/log_file.h"
#include "log_text_match.h"
#include "platform/local_time.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using test::read_file;
using test::TempDir;

std::string debug_name_now() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    local_time(now, t);
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

TEST(DebugLog, EveryThreadsLinesLandInTheFile) {
    TempDir dir;
    test::DebugLines before_and_after;
    debug_line("before the debug log\n");
    std::string path, before, after;
    {
        DebugLog log;
        before = debug_name_now();
        path = log.start(dir / "log");
        after = debug_name_now();
        ASSERT_FALSE(path.empty());
        std::thread worker([] { debug_line("from a worker %d\n", 42); });
        worker.join();
        debug_line("from the main thread\n");
        // Pushed at once: the lines are in the file before anything flushes or closes it.
        EXPECT_EQ(read_file(path), "from a worker 42\nfrom the main thread\n");
    }
    debug_line("after the debug log\n");
    EXPECT_EQ(before_and_after.take(), "before the debug log\nafter the debug log\n");

    std::string name = std::filesystem::path(path).filename().string();
    EXPECT_EQ(std::filesystem::path(path).parent_path().string(), dir / "log");
    EXPECT_TRUE(test::is_debug_log_name(name)) << name;
    // The name carries the local time of the call.
    EXPECT_LE(before, name);
    EXPECT_LE(name, after);
    EXPECT_EQ(read_file(path), "from a worker 42\nfrom the main thread\n");
}

TEST(DebugLog, AFolderThatCannotBeMadeLeavesTheLinesWhereTheyWent) {
    TempDir dir;
    test::write_file(dir / "log", "a file where the folder should be");
    test::DebugLines lines;
    DebugLog log;
    EXPECT_TRUE(log.start(dir / "log").empty());
    debug_line("still here\n");
    EXPECT_EQ(lines.take(), "still here\n");
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

TEST(OpenLogs, DebugModeWritesTheDeviceLogAndTheDebugLog) {
    TempDir dir;
    {
        RunLogs logs;
        open_logs(dir.path(), true, logs);
        ASSERT_FALSE(logs.debug_log_path.empty());
        ASSERT_TRUE(logs.deviceLog.is_open());
        debug_line("diagnostic line\n");
    }
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
