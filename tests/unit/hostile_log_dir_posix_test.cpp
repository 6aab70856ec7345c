// SPDX-License-Identifier: Apache-2.0
// The logs when their folder cannot be made: start-up goes on with the logs closed, every line
// is dropped, nothing is written anywhere else, and nothing waits for ever.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "support/child_process.h"
#include "log/log_dir.h"
#include "log/log_file.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using test::TempDir;

// Every entry below `dir`, with its type, so that "nothing was created" can be compared.
std::string listing(const std::string& dir) {
    std::string out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        out += it->path().string() + (it->is_symlink()     ? " link\n"
                                      : it->is_directory() ? " dir\n"
                                                           : " file\n");
    }
    return out;
}

TEST(HostileLogDir, AFolderThatCannotBeMadeLeavesTheLogsClosed) {
    TempDir dir;
    struct Case {
        const char* what;
        std::string work_dir;  // the working directory handed to open_logs
        std::function<void(const std::string&)> make;
    };
    const std::string long_name(300, 'd');  // longer than any file name may be
    const Case cases[] = {
        {"\"log\" is a file", dir / "a",
         [](const std::string& w) {
             std::filesystem::create_directory(w);
             test::write_file(w + "/log", "not a folder\n");
         }},
        {"\"log\" is a link into a missing folder", dir / "b",
         [](const std::string& w) {
             std::filesystem::create_directory(w);
             std::filesystem::create_symlink("missing/deeper", w + "/log");
         }},
        {"the working directory is gone", dir / "c/missing", [](const std::string&) {}},
        {"a name too long for the file system", dir / long_name, [](const std::string&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make(c.work_dir);
        const std::string before = listing(dir.path());
        // In a child: a debug log that did open would take the diagnostic lines of the process.
        const int rc = test::run_in_child([&] {
            RunLogs logs;
            open_logs(c.work_dir, true, logs);
            int bad = 0;
            if (logs.userReport.is_open()) bad |= 1;
            if (logs.deviceLog.is_open()) bad |= 2;
            if (!logs.debug_log_path.empty()) bad |= 4;
            logs.userReport.WriteTagged("USR", "upgrade success, IP:%s", "10.0.0.1");
            logs.deviceLog.WriteInfo("dropped %d\n", 1);
            // Standard output still goes where it went before.
            struct stat out {
            }, err{};
            if (::fstat(STDOUT_FILENO, &out) != 0 || ::fstat(STDERR_FILENO, &err) != 0) bad |= 8;
            return bad;
        });
        EXPECT_EQ(rc, 0) << "bits: 1 report open, 2 device log open, 4 debug log, -1 crashed";
        EXPECT_EQ(listing(dir.path()), before) << "something was written";
    }
}

// The working directory removed while the program is in it: getcwd fails, and the logs must
// not go to the root instead ("/log", as root).
TEST(HostileLogDir, ARemovedWorkingDirectoryPutsNothingAtTheRoot) {
    TempDir dir;
    const std::string gone = dir / "gone";
    std::filesystem::create_directory(gone);
    const bool root_log = std::filesystem::exists("/log");
    const int rc = test::run_in_child([&] {
        if (::chdir(gone.c_str()) != 0 || ::rmdir(gone.c_str()) != 0) return 32;
        if (!current_dir().empty()) return 16;
        RunLogs logs;
        open_logs(current_dir(), true, logs);
        int bad = 0;
        if (logs.userReport.is_open()) bad |= 1;
        if (logs.deviceLog.is_open()) bad |= 2;
        if (!logs.debug_log_path.empty()) bad |= 4;
        return bad;
    });
    EXPECT_EQ(rc, 0) << "bits: 1 report open, 2 device log open, 4 debug log, 16 getcwd worked";
    EXPECT_EQ(std::filesystem::exists("/log"), root_log);
    EXPECT_EQ(join_path("", "config.ini"), "config.ini");
    EXPECT_EQ(join_path("/", "log"), "/log");
}

// The report file is opened at every start-up; a pipe left under its name must not hold
// start-up until some reader comes along.
TEST(HostileLogDir, AReportThatIsAPipeDoesNotHoldStartUp) {
    TempDir dir;
    std::filesystem::create_directory(dir / "log");
    ASSERT_EQ(::mkfifo((dir / "log/upgrade_user.html").c_str(), 0644), 0);
    const int rc = test::run_in_child(
        [&] {
            RunLogs logs;
            open_logs(dir.path(), false, logs);
            logs.userReport.WriteTagged("USR", "dropped");
            return logs.userReport.is_open() ? 1 : 0;
        },
        std::chrono::seconds(10));
    EXPECT_EQ(rc, 0) << "1: a pipe without a reader counted as the report, -1: hung or crashed";
}

}  // namespace
}  // namespace quillon
