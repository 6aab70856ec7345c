// SPDX-License-Identifier: Apache-2.0
// Running programs without a shell: arguments passed literally, output captured, timeouts kill
// the program's whole process group, nothing of this process leaks into the program.
#include "platform/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/unique_fd.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

TEST(RunProgram, CapturesStandardOutputAndErrorAndTheExitCode) {
    auto r = run_program({"sh", "-c", "echo out; echo err >&2; exit 3"}, 10s);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.output, "out\nerr\n");
    EXPECT_FALSE(r.succeeded());
    auto ok = run_program({"true"}, 10s);
    EXPECT_TRUE(ok.succeeded());
    EXPECT_EQ(ok.output, "");
}

TEST(RunProgram, ArgumentsAreNeverInterpretedByAShell) {
    const std::string hostile = "1.2.3.4; touch pwned $(id) `id` | cat > x & *";
    auto r = run_program({"printf", "%s|%s", hostile, "two words"}, 10s);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.output, hostile + "|two words");
}

TEST(RunProgram, MissingProgramIsNotStarted) {
    auto r = run_program({"quillon-no-such-program-xyz"}, 10s);
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(run_program({}, 1s).started);
}

TEST(RunProgram, StandardInputIsEmpty) {
    // cat would wait for ever on an inherited terminal or pipe.
    auto r = run_program({"cat"}, 10s);
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.output, "");
}

TEST(RunProgram, TimeoutKillsTheProgram) {
    auto start = std::chrono::steady_clock::now();
    auto r = run_program({"sleep", "30"}, 200ms);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.term_signal, SIGKILL);
    EXPECT_EQ(r.exit_code, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

TEST(RunProgram, TimeoutAlsoEndsChildrenThatHoldTheOutputOpen) {
    test::TempDir dir;
    std::string pidfile = dir / "pid";
    // The shell exits at once, its background child keeps the output pipe open.
    auto r = run_program({"sh", "-c", "sleep 30 & echo $! > \"$0\"; echo started", pidfile}, 300ms);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.output, "started\n");
    pid_t child = std::stoi(test::read_file(pidfile));
    // The background sleep was killed with the group; it is gone (reaped by init) or a zombie.
    const bool gone = test::wait_until([&] {
        const std::string stat = test::read_file("/proc/" + std::to_string(child) + "/stat");
        return stat.empty() || stat.find(") Z") != std::string::npos;
    });
    EXPECT_TRUE(gone);
}

TEST(RunProgram, OutputBeyondTheCapIsDropped) {
    auto r = run_program({"head", "-c", "3000000", "/dev/zero"}, 20s, 1000);
    EXPECT_TRUE(r.succeeded());  // the program was read to its end, not blocked on a full pipe
    EXPECT_EQ(r.output.size(), 1000u);
    EXPECT_TRUE(r.output_truncated);
}

TEST(RunProgram, DescriptorsOfThisProcessAreNotInherited) {
    UniqueFd plain(::open("/dev/null", O_RDONLY));  // deliberately without close-on-exec
    ASSERT_TRUE(plain.valid());
    UniqueFd high(::fcntl(plain.get(), F_DUPFD, 200));
    ASSERT_TRUE(high.valid());
    std::string probe = "test -e /proc/self/fd/" + std::to_string(high.get()) +
                        " && echo open || echo closed";
    auto r = run_program({"sh", "-c", probe}, 10s);
    EXPECT_EQ(r.output, "closed\n");
}

TEST(RunProgram, IgnoredSignalsAreResetForTheProgram) {
    struct sigaction ign {
    }, old{};
    ign.sa_handler = SIG_IGN;
    ::sigaction(SIGTERM, &ign, &old);
    auto r = run_program({"sh", "-c", "kill -TERM $$; echo survived"}, 10s);
    ::sigaction(SIGTERM, &old, nullptr);
    EXPECT_EQ(r.term_signal, SIGTERM);
    EXPECT_EQ(r.output, "");
}

TEST(RunProgram, ParallelCallsKeepTheirOutputsApart) {
    const int n = 8;
    std::vector<std::string> outputs(n);
    std::vector<std::thread> pool;
    for (int i = 0; i < n; ++i)
        pool.emplace_back([&, i] {
            outputs[i] = run_program({"sh", "-c", "echo $0; sleep 0.1; echo $0", std::to_string(i)},
                                     20s)
                             .output;
        });
    for (auto& t : pool) t.join();
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(outputs[i], std::to_string(i) + "\n" + std::to_string(i) + "\n");
}

TEST(SpawnDetached, StartsTheProgramAndLeavesNoChildBehind) {
    test::TempDir dir;
    std::string marker = dir / "ran";
    ASSERT_EQ(spawn_detached({"sh", "-c", "echo \"$1\" > \"$0\"", marker, "a b;c"}), 0);
    test::wait_until([&] { return test::read_file(marker) == "a b;c\n"; });
    EXPECT_EQ(test::read_file(marker), "a b;c\n");
    // The program is not our child: nothing to reap, no zombie.
    int status = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(SpawnDetached, MissingProgramFails) {
    EXPECT_EQ(spawn_detached({"quillon-no-such-program-xyz"}), -1);
    EXPECT_EQ(spawn_detached({}), -1);
}

}  // namespace
}  // namespace quillon
