// SPDX-License-Identifier: Apache-2.0
#include "measured_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/unique_fd.h"

namespace quillon::bench {

bool run_measured(const std::vector<std::string>& argv, RunFigures& out,
                  const std::function<void(pid_t)>& started) {
    if (argv.empty()) return false;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    // The child waits for one byte on this pipe before it runs the program.
    int go[2];
    if (::pipe2(go, O_CLOEXEC) != 0) return false;
    UniqueFd go_read(go[0]), go_write(go[1]);

    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        char c;
        if (::read(go_read.get(), &c, 1) != 1) ::_exit(127);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    go_read.reset();
    if (started) started(pid);
    const char c = 1;
    if (::write(go_write.get(), &c, 1) != 1) ::kill(pid, SIGKILL);  // reaped below
    go_write.reset();
    int status = 0;
    rusage ru{};
    pid_t r;
    do {
        r = ::wait4(pid, &status, 0, &ru);
    } while (r < 0 && errno == EINTR);
    out.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r != pid) return false;
    out.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    out.user_s = double(ru.ru_utime.tv_sec) + ru.ru_utime.tv_usec / 1e6;
    out.sys_s = double(ru.ru_stime.tv_sec) + ru.ru_stime.tv_usec / 1e6;
    // The peak of the whole process, across its exec (the lab's wrappers exec into the program).
    out.max_rss_kib = ru.ru_maxrss;
    return true;
}

}  // namespace quillon::bench
