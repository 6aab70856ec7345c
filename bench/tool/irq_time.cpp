// SPDX-License-Identifier: Apache-2.0
#include "irq_time.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace quillon::bench {
namespace {

const char* const kTracefs[] = {"/sys/kernel/tracing", "/sys/kernel/debug/tracing"};

bool ends_with(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

std::vector<std::string> words(const std::string& s, std::size_t from) {
    std::vector<std::string> out;
    std::size_t i = from;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        const std::size_t b = i;
        while (i < s.size() && s[i] != ' ') ++i;
        if (i > b) out.push_back(s.substr(b, i - b));
    }
    return out;
}

}  // namespace

bool parse_trace_line(const std::string& line, TraceEvent& ev, long& lost) {
    // "CPU:1 [LOST 12 EVENTS]"
    if (const auto p = line.find("[LOST "); p != std::string::npos) {
        lost += std::strtol(line.c_str() + p + 6, nullptr, 10);
        return false;
    }
    // "<comm>-<pid> [001] d.h.. 70109.162851: local_timer_entry: vector=236". The command name
    // may hold spaces, so the CPU field is found as the first "[digits]".
    std::size_t open = 0;
    for (;;) {
        open = line.find('[', open);
        if (open == std::string::npos) return false;
        std::size_t k = open + 1;
        while (k < line.size() && std::isdigit(static_cast<unsigned char>(line[k]))) ++k;
        if (k > open + 1 && k < line.size() && line[k] == ']') {
            ev.cpu = std::atoi(line.c_str() + open + 1);
            open = k + 1;
            break;
        }
        ++open;
    }
    const std::vector<std::string> w = words(line, open);
    // The time stamp is the first word "<seconds>:"; the flags before it may be left out.
    for (std::size_t i = 0; i + 1 < w.size(); ++i) {
        if (!ends_with(w[i], ":")) continue;
        char* end = nullptr;
        const double t = std::strtod(w[i].c_str(), &end);
        if (end != w[i].c_str() + w[i].size() - 1) continue;
        if (!ends_with(w[i + 1], ":")) return false;
        ev.t = t;
        ev.name = w[i + 1].substr(0, w[i + 1].size() - 1);
        ev.action.clear();
        if (const auto a = line.find("[action=", open); a != std::string::npos) {
            const auto e = line.find(']', a);
            if (e != std::string::npos) ev.action = line.substr(a + 8, e - a - 8);
        }
        return true;
    }
    return false;
}

void IrqAccumulator::add(const TraceEvent& ev) {
    Cpu& c = cpus_[ev.cpu];
    ++totals_.events;
    if (ends_with(ev.name, "_entry")) {
        if (c.depth++ == 0) c.since = ev.t;
        if (ev.name == "softirq_entry") {
            c.soft_action = ev.action;
            c.soft_since = ev.t;
        }
    } else if (ends_with(ev.name, "_exit")) {
        // An exit whose entry came before the trace began is not counted.
        if (c.depth > 0 && --c.depth == 0) totals_.irq_s += ev.t - c.since;
        if (ev.name == "softirq_exit" && c.soft_since >= 0) {
            totals_.softirq_s[c.soft_action] += ev.t - c.soft_since;
            c.soft_since = -1;
        }
    }
}

IrqTrace::~IrqTrace() {
    if (reader_.joinable()) {
        stop_ = true;
        reader_.join();
    }
    pipe_.reset();
    if (!dir_.empty()) ::rmdir(dir_.c_str());
}

bool IrqTrace::write_file(const std::string& name, const std::string& value) const {
    UniqueFd fd(::open((dir_ + "/" + name).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd.valid()) return false;
    return ::write(fd.get(), value.data(), value.size()) == ssize_t(value.size());
}

bool IrqTrace::open(std::string& why) {
    std::string root;
    for (const char* r : kTracefs) {
        if (::access((std::string(r) + "/instances").c_str(), W_OK) == 0) {
            root = r;
            break;
        }
    }
    if (root.empty()) {
        why = "no writable tracefs (not root, or not mounted)";
        return false;
    }
    const std::string dir = root + "/instances/quillon-bench-" + std::to_string(::getpid());
    if (::mkdir(dir.c_str(), 0700) != 0) {
        why = dir + ": " + std::strerror(errno);
        return false;
    }
    dir_ = dir;
    // A new instance traces at once: off until the task to follow is known.
    bool ok = write_file("tracing_on", "0") && write_file("buffer_size_kb", "16384") &&
              write_file("options/event-fork", "1");
    for (const char* e : {"softirq_entry", "softirq_exit", "irq_handler_entry", "irq_handler_exit"})
        ok = ok && write_file(std::string("events/irq/") + e + "/enable", "1");
    // The local APIC's own interrupts (timer, wake-up calls between CPUs), where there are such.
    if (DIR* d = ::opendir((dir_ + "/events/irq_vectors").c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (ends_with(n, "_entry") || ends_with(n, "_exit"))
                ok = ok && write_file("events/irq_vectors/" + n + "/enable", "1");
        }
        ::closedir(d);
    }
    if (!ok) why = dir_ + ": cannot set the trace up";
    return ok;
}

bool IrqTrace::follow(pid_t pid, std::string& why) {
    if (dir_.empty()) return false;
    if (!write_file("set_event_pid", std::to_string(pid)) || !write_file("trace", "") ||
        !write_file("tracing_on", "1")) {
        why = dir_ + ": cannot follow the task";
        return false;
    }
    pipe_.reset(::open((dir_ + "/trace_pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!pipe_.valid()) {
        why = dir_ + "/trace_pipe: " + std::strerror(errno);
        return false;
    }
    reader_ = std::thread([this] { read_loop(); });
    return true;
}

void IrqTrace::read_loop() {
    std::string pending;
    std::vector<char> buf(1 << 16);
    TraceEvent ev;
    for (;;) {
        const bool last = stop_;  // after the stop, read what is left, then end
        pollfd p{pipe_.get(), POLLIN, 0};
        if (!last) ::poll(&p, 1, 100);
        for (;;) {
            const ssize_t n = ::read(pipe_.get(), buf.data(), buf.size());
            if (n <= 0) break;
            pending.append(buf.data(), std::size_t(n));
            std::size_t b = 0;
            for (std::size_t e; (e = pending.find('\n', b)) != std::string::npos; b = e + 1) {
                long lost = 0;
                if (parse_trace_line(pending.substr(b, e - b), ev, lost)) acc_.add(ev);
                if (lost > 0) acc_.add_lost(lost);
            }
            pending.erase(0, b);
        }
        if (last) break;
    }
}

IrqTotals IrqTrace::finish() {
    if (dir_.empty() || !reader_.joinable()) return {};
    write_file("tracing_on", "0");
    stop_ = true;
    reader_.join();
    return acc_.totals();
}

}  // namespace quillon::bench
