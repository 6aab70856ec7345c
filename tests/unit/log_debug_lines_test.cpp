// SPDX-License-Identifier: Apache-2.0
// The one writer of the diagnostic lines: the bytes a program writes to standard output and into
// its debug log (read from a program of their own, quillon_debug_lines_echo), whole lines from
// many threads, and sinks that come and go in any order.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/debug_lines.h"
#include "log/debug_line.h"
#include "platform/run_program.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

std::string echo_program() { return test::beside_this_program("quillon_debug_lines_echo"); }

// What quillon_debug_lines_echo writes, with `nl` for each line end; the local time as a pattern.
std::string expected_pattern(const std::string& nl) {
    const std::string time = "localtime is [ 0-9]{2}:[ 0-9]{2}:[ 0-9]{2}" + nl;
    return "start connect ip=abc" + nl + time + "connect ret=-1 retry=0" + nl + time +
           "process thread 2" + nl + "198\\.18\\.0\\.10, i=1, " + nl + std::string(5000, 'x') + nl;
}

TEST(DebugLines, WithoutADebugLogTheyGoToStandardOutputByteForByte) {
    const ProgramResult r = run_program({echo_program()}, 60s);
    ASSERT_TRUE(r.succeeded()) << r.error << r.output;
#ifdef _WIN32
    const std::string nl = "\r\n";  // standard output in text mode, as printf always wrote it
#else
    const std::string nl = "\n";
#endif
    EXPECT_TRUE(std::regex_match(r.output, std::regex(expected_pattern(nl)))) << r.output;
}

TEST(DebugLines, TheDebugLogTakesThemByteForByteAndStandardOutputStaysEmpty) {
    test::TempDir dir;
    const ProgramResult r = run_program({echo_program(), "--debug-log", dir / "log"}, 60s);
    ASSERT_TRUE(r.succeeded()) << r.error << r.output;
    EXPECT_EQ(r.output, "");
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir / "log"))
        files.push_back(e.path().string());
    ASSERT_EQ(files.size(), 1u);
    const std::string text = test::read_file(files[0]);
    EXPECT_TRUE(std::regex_match(text, std::regex(expected_pattern("\n")))) << text;
}

TEST(DebugLines, EveryThreadsLinesArriveWhole) {
    test::DebugLines lines;
    constexpr int kThreads = 8, kEach = 300;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < kEach; ++i) debug_line("thread %d line %d %s\n", t, i, "....");
            });
    }
    std::vector<int> next(kThreads, 0);
    std::istringstream in(lines.take());
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        int t = -1, i = -1;
        char tail[8] = {};
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d %7s", &t, &i, tail), 3) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        EXPECT_EQ(i, next[t]++) << "thread " << t << "'s lines out of order";
        EXPECT_STREQ(tail, "....");
        ++count;
    }
    EXPECT_EQ(count, kThreads * kEach);
}

TEST(DebugLines, TheLatestSinkStillInPlaceTakesThemWhateverOrderTheyEndIn) {
    test::DebugLines outer;
    auto first = std::make_unique<test::DebugLines>();
    auto second = std::make_unique<test::DebugLines>();
    debug_line("to the second\n");
    first.reset();  // ends before the one installed after it
    debug_line("still to the second\n");
    EXPECT_EQ(second->take(), "to the second\nstill to the second\n");
    second.reset();
    debug_line("back to the outer one\n");
    EXPECT_EQ(outer.take(), "back to the outer one\n");
}

TEST(DebugLines, DroppedWhileQuiet) {
    test::DebugLines outer;
    {
        QuietDebugLines quiet;
        debug_line("dropped %d\n", 1);
    }
    debug_line("kept\n");
    EXPECT_EQ(outer.take(), "kept\n");
}

}  // namespace
}  // namespace quillon
