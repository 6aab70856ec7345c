#pragma once
// Starting other programs without a shell: the argument vector is passed as it is, so no text
// from a device or a file is ever interpreted as a command line.
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace quillon {

struct ProgramResult {
    bool started = false;    // false: the program could not be started (see `error`)
    bool timed_out = false;  // it ran past the timeout and was killed with its process group
    int exit_code = -1;      // its exit status when it exited by itself, else -1
    int term_signal = 0;     // the signal that ended it, else 0
    std::string output;      // standard output and standard error, in the order written
    bool output_truncated = false;  // more than the cap was written; the rest was read and dropped
    std::string error;       // why it could not be started

    bool succeeded() const { return started && !timed_out && exit_code == 0; }
};

// Runs argv[0] (looked up in PATH) with the given arguments, standard input from /dev/null,
// standard output and standard error captured together, and waits until it ends, at most
// `timeout`. The program runs in a process group of its own; on timeout the whole group is
// killed. Safe to call from several threads at once.
ProgramResult run_program(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                          std::size_t max_output = 1 << 20);

// Starts argv[0] (looked up in PATH) detached from this process: in a session of its own,
// standard streams on /dev/null, never waited for and never left as a zombie. For programs
// that may run as long as they like, such as a browser started by xdg-open.
// Returns 0 when it was started, -1 when the program was not found or could not be forked.
int spawn_detached(const std::vector<std::string>& argv);

// The full path of an executable: `name` itself when it contains '/', else the first match in
// PATH. Empty when there is none.
std::string find_executable(const std::string& name);

}  // namespace quillon
