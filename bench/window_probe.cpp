// SPDX-License-Identifier: Apache-2.0
#include "window_probe.h"

#include <QEvent>
#include <QMetaEnum>
#include <QThread>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace quillon::bench {

namespace {

double thread_cpu_ms() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
           double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

// The run-queue delay so far of the thread whose schedstat file `fd` is (its second field, ns);
// 0 where the kernel does not keep it. The file is read again from its start each time: one
// system call per tick, so that the probe adds little to the loop it measures.
double thread_runq_ms(int fd) {
    char buf[128];
    const ssize_t n = fd >= 0 ? ::pread(fd, buf, sizeof buf - 1, 0) : -1;
    if (n <= 0) return 0;
    buf[n] = '\0';
    unsigned long long on_cpu = 0, waited = 0;
    if (std::sscanf(buf, "%llu %llu", &on_cpu, &waited) != 2) return 0;
    return double(waited) / 1e6;
}

std::string seconds_after(qint64 at_ns, qint64 from_ns) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", double(at_ns - from_ns) / 1e9);
    return buf;
}

}  // namespace

LoopProbe::LoopProbe(const QElapsedTimer& clock)
    : clock_(clock), schedstat_(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        const qint64 now = clock_.nsecsElapsed();
        const double cpu = thread_cpu_ms(), runq = thread_runq_ms(schedstat_.get());
        ticks_.push_back({now, std::max(0.0, double(now - last_) / 1e6 - kTickMs),
                          cpu - last_cpu_ms_, runq - last_runq_ms_});
        last_ = now;
        last_cpu_ms_ = cpu;
        last_runq_ms_ = runq;
    });
}

void LoopProbe::start() {
    last_ = clock_.nsecsElapsed();
    last_cpu_ms_ = thread_cpu_ms();
    last_runq_ms_ = thread_runq_ms(schedstat_.get());
    timer_.start();
}

void LoopProbe::stop() { timer_.stop(); }

std::vector<double> LoopProbe::delays(qint64 from_ns, qint64 to_ns) const {
    std::vector<double> out;
    for (const Tick& t : ticks_)
        if (t.at_ns >= from_ns && t.at_ns <= to_ns) out.push_back(t.late_ms);
    std::sort(out.begin(), out.end());
    return out;
}

std::string LoopProbe::worst_json(qint64 from_ns, qint64 to_ns, std::size_t count) const {
    std::vector<Tick> in;
    for (const Tick& t : ticks_)
        if (t.at_ns >= from_ns && t.at_ns <= to_ns) in.push_back(t);
    std::sort(in.begin(), in.end(),
              [](const Tick& a, const Tick& b) { return a.late_ms > b.late_ms; });
    std::string out = "[";
    for (std::size_t i = 0; i < in.size() && i < count; ++i) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "%s{\"at_s\":%s,\"late_ms\":%.1f,\"cpu_ms\":%.1f,\"runq_ms\":%.1f}",
                      i ? "," : "", seconds_after(in[i].at_ns, from_ns).c_str(), in[i].late_ms,
                      in[i].cpu_ms, in[i].runq_ms);
        out += buf;
    }
    return out + "]";
}

double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0;
    return sorted[std::size_t(q * double(sorted.size() - 1))];
}

TimedApplication::TimedApplication(int& argc, char** argv, const QElapsedTimer& clock)
    : QApplication(argc, argv), clock_(clock) {}

bool TimedApplication::notify(QObject* receiver, QEvent* event) {
    // Other threads' own event loops (none in the program, but Qt may start some) are not the
    // window's; nested deliveries are part of the outer one.
    if (!recording_ || depth_ > 0 || QThread::currentThread() != thread())
        return QApplication::notify(receiver, event);
    const int type = event->type();
    ++depth_;
    const qint64 t0 = clock_.nsecsElapsed();
    const bool r = QApplication::notify(receiver, event);
    const double ms = double(clock_.nsecsElapsed() - t0) / 1e6;
    --depth_;
    PerType& p = per_type_[type];
    ++p.count;
    p.total_ms += ms;
    p.max_ms = std::max(p.max_ms, ms);
    constexpr std::size_t kKept = 8;
    if (longest_.size() < kKept || ms > longest_.back().ms) {
        longest_.push_back({ms, t0, type});
        std::sort(longest_.begin(), longest_.end(),
                  [](const Delivery& a, const Delivery& b) { return a.ms > b.ms; });
        if (longest_.size() > kKept) longest_.pop_back();
    }
    return r;
}

std::string TimedApplication::longest_json(qint64 from_ns, std::size_t count) const {
    const QMetaEnum names = QMetaEnum::fromType<QEvent::Type>();
    std::string out = "[";
    for (std::size_t i = 0; i < longest_.size() && i < count; ++i) {
        const char* name = names.valueToKey(longest_[i].type);
        char buf[160];
        std::snprintf(buf, sizeof buf, "%s{\"at_s\":%s,\"ms\":%.1f,\"event\":\"%s\"}", i ? "," : "",
                      seconds_after(longest_[i].at_ns, from_ns).c_str(), longest_[i].ms,
                      name ? name : std::to_string(longest_[i].type).c_str());
        out += buf;
    }
    return out + "]";
}

std::string TimedApplication::per_type_json(std::size_t at_most) const {
    std::vector<std::pair<int, PerType>> v(per_type_.begin(), per_type_.end());
    std::sort(v.begin(), v.end(),
              [](const auto& a, const auto& b) { return a.second.total_ms > b.second.total_ms; });
    const QMetaEnum names = QMetaEnum::fromType<QEvent::Type>();
    std::string out = "{";
    for (std::size_t i = 0; i < v.size() && i < at_most; ++i) {
        const char* name = names.valueToKey(v[i].first);
        char buf[200];
        std::snprintf(buf, sizeof buf,
                      "%s\"%s\":{\"count\":%llu,\"total_ms\":%.1f,\"max_ms\":%.2f}", i ? "," : "",
                      name ? name : std::to_string(v[i].first).c_str(),
                      static_cast<unsigned long long>(v[i].second.count), v[i].second.total_ms,
                      v[i].second.max_ms);
        out += buf;
    }
    return out + "}";
}

}  // namespace quillon::bench
