// SPDX-License-Identifier: Apache-2.0
// Running a program on Windows: what it starts is ended with it on a timeout (the job object).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/run_program.h"
#include "support/files.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;

TEST(RunProgramWin, ATimeoutEndsWhatTheProgramStartedToo) {
    const std::string dir = test::beside_this_program("");
    const std::string pid_file = dir + "argv_echo_sleeper.pid";
    std::remove(pid_file.c_str());
    const ProgramResult r = run_program({dir + "quillon_argv_echo", "--spawn-sleeper", pid_file,
                                         "--sleep-ms", "60000"},
                                        2s);
    EXPECT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.timed_out);

    unsigned long pid = 0;
    std::FILE* f = std::fopen(pid_file.c_str(), "rb");
    ASSERT_NE(f, nullptr) << "the program did not start its copy";
    ASSERT_EQ(std::fscanf(f, "%lu", &pid), 1);
    std::fclose(f);
    std::remove(pid_file.c_str());
    HANDLE sleeper = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!sleeper) return;  // already gone
    // Ended by the job, not by its own minute of sleep.
    EXPECT_EQ(::WaitForSingleObject(sleeper, 10000), WAIT_OBJECT_0);
    ::CloseHandle(sleeper);
}

}  // namespace
}  // namespace quillon
