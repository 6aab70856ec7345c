// SPDX-License-Identifier: Apache-2.0
// Starting a program without a shell, on every system: the arguments reach the program as they
// were given (on Windows through one quoted command line), its exit status and output come back,
// and a program that runs too long is ended. The program started is quillon_argv_echo.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/run_program.h"
#include "support/files.h"
#include "support/wait_until.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

std::string echo_program() { return test::beside_this_program("quillon_argv_echo"); }

void set_env(const char* name, const char* value) {
#ifdef _WIN32
    ::_putenv_s(name, value ? value : "");
#else
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
#endif
}

// The arguments as the helper wrote them back ("<bytes>:<text>\n" each).
std::vector<std::string> parse_echo(const std::string& out, bool* ok) {
    std::vector<std::string> args;
    std::size_t at = 0;
    *ok = true;
    while (at < out.size()) {
        const auto colon = out.find(':', at);
        if (colon == std::string::npos) break;
        const std::size_t n = std::stoul(out.substr(at, colon - at));
        if (colon + 1 + n >= out.size() + 1 || out[colon + 1 + n] != '\n') break;
        args.push_back(out.substr(colon + 1, n));
        at = colon + 2 + n;
    }
    *ok = at == out.size();
    return args;
}

TEST(WindowsCommandLine, QuotesByTheRulesOfTheWindowsRuntime) {
    std::string line;
    ASSERT_TRUE(windows_command_line({"C:\\Program Files\\x.exe", "plain", "two words", ""}, line));
    EXPECT_EQ(line, R"("C:\Program Files\x.exe" plain "two words" "")");
    // Backslashes are doubled only before a quote and before the closing quote.
    ASSERT_TRUE(
        windows_command_line({"p", R"(a\b)", R"(a"b)", R"(a\"b)", R"(dir with\)", R"(\\)"}, line));
    EXPECT_EQ(line, R"("p" a\b "a\"b" "a\\\"b" "dir with\\" \\)");
    ASSERT_TRUE(windows_command_line({"p", "tab\there", "line\nend"}, line));
    EXPECT_EQ(line, "\"p\" \"tab\there\" \"line\nend\"");
}

TEST(WindowsCommandLine, RefusesWhatCannotBeCarried) {
    std::string line = "x";
    EXPECT_FALSE(windows_command_line({}, line));
    EXPECT_FALSE(windows_command_line({"p", std::string("a\0b", 3)}, line));
    EXPECT_FALSE(windows_command_line({"p\"q"}, line));
    EXPECT_TRUE(line.empty());
}

TEST(RunProgramArgs, EveryArgumentArrivesUnchanged) {
    const std::string exe = echo_program();
    ASSERT_FALSE(find_executable(exe).empty()) << exe;
    const std::vector<std::string> args = {"",
                                           " ",
                                           "plain",
                                           "two words",
                                           "a\"b",
                                           "\"",
                                           "\"\"",
                                           "\\",
                                           "a\\",
                                           "a\\\\",
                                           "a\\\"b",
                                           "\\\\\"",
                                           "end\\ ",
                                           "C:\\Program Files\\Quillon\\",
                                           "tab\there",
                                           "line\nend",
                                           "%PATH%",
                                           "$HOME",
                                           "^&|<>();",
                                           "*?",
                                           "张伟 固件 v2",
                                           "-",
                                           "--",
                                           "/c"};
    std::vector<std::string> argv = {exe};
    argv.insert(argv.end(), args.begin(), args.end());
    const ProgramResult r = run_program(argv, 60s);
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    bool whole = false;
    const auto got = parse_echo(r.output, &whole);
    EXPECT_TRUE(whole) << r.output;
    EXPECT_EQ(got, args);
}

TEST(RunProgramArgs, ExitStatusAndAMissingProgram) {
    const ProgramResult r = run_program({echo_program(), "--exit", "7"}, 60s);
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_EQ(r.exit_code, 7);
    EXPECT_FALSE(r.succeeded());
    EXPECT_EQ(r.output, "6:--exit\n1:7\n");

    const ProgramResult missing = run_program({"quillon-no-such-program-xyz"}, 10s);
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_TRUE(find_executable("quillon-no-such-program-xyz").empty());
    EXPECT_TRUE(find_executable("").empty());
}

TEST(RunProgramArgs, AProgramPastItsTimeIsEnded) {
    const ProgramResult r = run_program({echo_program(), "--sleep-ms", "60000"}, 300ms);
    EXPECT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.exit_code, -1);
    EXPECT_TRUE(r.output.empty());
}

TEST(RunProgramArgs, ADetachedProgramRunsOnItsOwn) {
    // It writes where the environment says; the marker shows it ran with its arguments intact.
    const std::string exe = echo_program();
    const std::string dir = exe.substr(0, exe.find_last_of("/\\") + 1);
    const std::string marker = dir + "argv_echo_detached.txt";
    std::remove(marker.c_str());
    set_env("QUILLON_ARGV_ECHO_TO", marker.c_str());
    EXPECT_EQ(spawn_detached({exe, "a b", "c\"d"}), 0);
    set_env("QUILLON_ARGV_ECHO_TO", nullptr);
    std::string text;
    test::wait_until([&] {
        text = test::read_file(marker);
        return text == "3:a b\n3:c\"d\n";
    });
    EXPECT_EQ(text, "3:a b\n3:c\"d\n");
    std::remove(marker.c_str());
    EXPECT_EQ(spawn_detached({"quillon-no-such-program-xyz"}), -1);
}

TEST(PingCommand, OnlyForADottedAddress) {
    const auto cmd = ping_command("10.0.0.9", 4);
    ASSERT_EQ(cmd.size(), 4u);
    EXPECT_EQ(cmd[0], "ping");
    EXPECT_EQ(cmd[2], "4");
    EXPECT_EQ(cmd[3], "10.0.0.9");
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "256.0.0.1", "01.2.3.4", "1..2.3", "-c", "1.2.3.4 ", " 1.2.3.4",
          "1.2.3.4\n", "a.b.c.d", "1.2.3.-4", "1234.1.1.1"})
        EXPECT_TRUE(ping_command(bad, 4).empty()) << bad;
    EXPECT_TRUE(ping_command("10.0.0.9", 0).empty());
    EXPECT_TRUE(ping_command("10.0.0.9", 101).empty());
}

TEST(PingCommand, TheSystemPingAnswersForLoopback) {
    const auto cmd = ping_command("127.0.0.1", 1);
    ASSERT_FALSE(cmd.empty());
    if (find_executable(cmd[0]).empty()) GTEST_SKIP() << "no ping here";
    const ProgramResult r = run_program(cmd, 30s);
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("127.0.0.1"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace quillon
