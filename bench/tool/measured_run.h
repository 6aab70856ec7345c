// SPDX-License-Identifier: Apache-2.0
#pragma once
// Runs a program and measures it: wall time, CPU time (user and system) and peak resident size.
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace quillon::bench {

struct RunFigures {
    int exit_code = -1;  // 128 + signal when it was killed
    double wall_s = 0;
    double user_s = 0;
    double sys_s = 0;
    long max_rss_kib = 0;
};

// argv[0] is looked up in PATH. false when it could not be started. `started`, when given, is
// called with the child's pid before the child runs the program (to trace it from its start).
bool run_measured(const std::vector<std::string>& argv, RunFigures& out,
                  const std::function<void(pid_t)>& started = {});

}  // namespace quillon::bench
