// SPDX-License-Identifier: Apache-2.0
#pragma once
// Runs a piece of a test in a forked child, for things that change the whole process (standard
// output, the working directory) and must not touch the test runner itself. Linux only.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "support/wait_until.h"

namespace quillon::test {

// The child's exit code (the body's result), or -1 when it crashed or ran past the deadline.
// Call it while the test process has no other threads.
inline int run_in_child(const std::function<int()>& body,
                        std::chrono::seconds deadline = std::chrono::seconds(30)) {
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int code = body();
        std::fflush(stdout);
        ::_exit(code);
    }
    int status = 0;
    if (!wait_until([&] { return ::waitpid(pid, &status, WNOHANG) != 0; }, deadline)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace quillon::test
