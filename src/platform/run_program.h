// SPDX-License-Identifier: Apache-2.0
#pragma once
// Starting other programs without a shell: the argument vector is passed as it is, so no text
// from a device or a file is ever interpreted as a command line.
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace quillon {

struct ProgramResult {
    bool started = false;           // false: the program could not be started (see `error`)
    bool timed_out = false;         // it ran past the timeout and was killed with its process group
    int exit_code = -1;             // its exit status when it exited by itself, else -1
    int term_signal = 0;            // the signal that ended it, else 0 (always 0 on Windows)
    std::string output;             // standard output and standard error, in the order written
    bool output_truncated = false;  // more than the cap was written; the rest was read and dropped
    std::string error;              // why it could not be started

    bool succeeded() const { return started && !timed_out && exit_code == 0; }
};

// Runs argv[0] (looked up by find_executable) with the given arguments, standard input from the
// null device, standard output and standard error captured together, and waits until it ends, at
// most `timeout`. The program runs in a process group of its own (Windows: a job object); on
// timeout the whole group is killed. On Windows the arguments reach the program through one
// command line, quoted by windows_command_line. Safe to call from several threads at once.
ProgramResult run_program(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                          std::size_t max_output = 1 << 20);

// Starts argv[0] (looked up by find_executable) detached from this process: in a session of its
// own (Windows: without a console), standard streams on the null device, never waited for and
// never left as a zombie. For programs that may run as long as they like, such as a browser.
// Returns 0 when it was started, -1 when the program was not found or could not be forked.
int spawn_detached(const std::vector<std::string>& argv);

// The full path of an executable: `name` itself when it contains '/' (Windows: '/', '\' or
// ':'), else the first match in PATH. Empty when there is none. On Windows only ".exe" and ".com"
// files count, the extension added when the name has none: a batch file would run through the
// command interpreter, which reads its arguments by rules of its own. The working directory is
// not searched.
std::string find_executable(const std::string& name);

// The argument vector of the system's ping for `count` echo requests to `address`, to be run
// with run_program: "ping -c N A" on Linux, "ping -n N A" on Windows. Empty unless `address` is
// a dotted IPv4 text ("10.0.0.9": four numbers 0 to 255, no leading zeros) and count is 1 to 100.
std::vector<std::string> ping_command(const std::string& address, int count);

// The full path of this program's executable; empty when it cannot be told.
std::string current_executable_path();

// The command line that hands `argv` to a Windows program whose runtime splits it by the rules
// of CommandLineToArgvW: the program name quoted as it is, every other argument as it is when
// it has no blank or quote, else in quotes with backslashes doubled before a quote and at the
// end. False when an argument cannot be carried: a NUL byte anywhere, a quote in argv[0].
bool windows_command_line(const std::vector<std::string>& argv, std::string& out);

namespace detail {
// The address rule of ping_command.
bool is_dotted_ipv4(const std::string& text);
}  // namespace detail

}  // namespace quillon
