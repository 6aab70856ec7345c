#pragma once
// Runs a program and measures it: wall time, CPU time (user and system) and peak resident size.
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

// argv[0] is looked up in PATH. false when it could not be started.
bool run_measured(const std::vector<std::string>& argv, RunFigures& out);

}  // namespace quillon::bench
