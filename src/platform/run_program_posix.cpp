// SPDX-License-Identifier: Apache-2.0
#include "platform/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/unique_fd.h"

extern char** environ;

namespace quillon {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> c_argv(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    for (const auto& a : argv) out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

// Signals the child should see with their default action, whatever this process set.
void default_signals(sigset_t* set) {
    sigemptyset(set);
    for (int s : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2})
        sigaddset(set, s);
}

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&a_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&a_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &a_; }

private:
    posix_spawn_file_actions_t a_;
};

class SpawnAttr {
public:
    SpawnAttr() { posix_spawnattr_init(&a_); }
    ~SpawnAttr() { posix_spawnattr_destroy(&a_); }
    SpawnAttr(const SpawnAttr&) = delete;
    SpawnAttr& operator=(const SpawnAttr&) = delete;
    posix_spawnattr_t* get() { return &a_; }

private:
    posix_spawnattr_t a_;
};

int wait_child(pid_t pid, int* status, int flags) {
    int r;
    do {
        r = ::waitpid(pid, status, flags);
    } while (r < 0 && errno == EINTR);
    return r;
}

void record_status(ProgramResult& res, int status) {
    if (WIFEXITED(status)) res.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) res.term_signal = WTERMSIG(status);
}

}  // namespace

std::string find_executable(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

std::vector<std::string> ping_command(const std::string& address, int count) {
    if (!detail::is_dotted_ipv4(address) || count < 1 || count > 100) return {};
    return {"ping", "-c", std::to_string(count), address};
}

std::string current_executable_path() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || std::size_t(n) >= sizeof buf) return {};
    return std::string(buf, std::size_t(n));
}

ProgramResult run_program(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                          std::size_t max_output) {
    ProgramResult res;
    if (argv.empty() || argv[0].empty()) {
        res.error = "no program given";
        return res;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        res.error = std::string("pipe: ") + std::strerror(errno);
        return res;
    }
    UniqueFd read_end(fds[0]);
    UniqueFd write_end(fds[1]);

    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), 1);
    posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), 2);
    // Sockets and files of this process (a discovery socket bound to its port, say) are not
    // the program's business.
    posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    SpawnAttr attr;
    sigset_t defaults, empty;
    default_signals(&defaults);
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(attr.get(), &defaults);
    posix_spawnattr_setsigmask(attr.get(), &empty);
    posix_spawnattr_setpgroup(attr.get(), 0);
    posix_spawnattr_setflags(attr.get(), POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                             POSIX_SPAWN_SETSIGMASK);

    auto args = c_argv(argv);
    pid_t pid = -1;
    int err = ::posix_spawnp(&pid, args[0], actions.get(), attr.get(), args.data(), environ);
    if (err != 0) {
        res.error = argv[0] + ": " + std::strerror(err);
        return res;
    }
    res.started = true;
    write_end.reset();  // only the child holds the write end now, so its exit ends the stream

    const auto deadline = Clock::now() + timeout;
    auto remaining_ms = [&]() {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return left.count() < 0 ? 0 : static_cast<int>(left.count());
    };

    char buf[4096];
    bool eof = false;
    while (!eof) {
        int left = remaining_ms();
        if (left == 0) break;
        pollfd p{read_end.get(), POLLIN, 0};
        int r = ::poll(&p, 1, left);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        ssize_t n = ::read(read_end.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            eof = true;
            break;
        }
        size_t room = max_output > res.output.size() ? max_output - res.output.size() : 0;
        size_t take = static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
        res.output.append(buf, take);
        if (take < static_cast<size_t>(n)) res.output_truncated = true;
    }

    int status = 0;
    if (eof) {
        // The stream ended; the program normally exits at the same moment. Look a few times
        // rather than block: a program that closed its output but lives on still has a limit.
        for (;;) {
            int r = wait_child(pid, &status, WNOHANG);
            if (r == pid) {
                record_status(res, status);
                return res;
            }
            if (r < 0) return res;  // already reaped elsewhere (SIGCHLD ignored): status unknown
            if (remaining_ms() == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    res.timed_out = true;
    ::kill(-pid, SIGKILL);
    if (wait_child(pid, &status, 0) == pid) record_status(res, status);
    return res;
}

int spawn_detached(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    std::string exe = find_executable(argv[0]);
    if (exe.empty()) return -1;
    // Everything the children use is prepared here: between fork and exec only
    // async-signal-safe calls are allowed in a threaded process.
    auto args = c_argv(argv);
    sigset_t defaults, empty;
    default_signals(&defaults);
    sigemptyset(&empty);
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        int null_fd = ::open("/dev/null", O_RDWR);
        if (null_fd >= 0) {
            ::dup2(null_fd, 0);
            ::dup2(null_fd, 1);
            ::dup2(null_fd, 2);
        }
        ::close_range(3, ~0U, 0);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int s = 1; s < NSIG; ++s)
            if (sigismember(&defaults, s) == 1) ::sigaction(s, &dfl, nullptr);
        ::sigprocmask(SIG_SETMASK, &empty, nullptr);
        ::execve(exe.c_str(), args.data(), environ);
        ::_exit(127);
    }
    int status = 0;
    if (wait_child(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return 0;
    return -1;
}

}  // namespace quillon
