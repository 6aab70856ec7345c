#include "window_probe.h"

#include <QEvent>
#include <QMetaEnum>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace quillon::bench {

LoopProbe::LoopProbe(const QElapsedTimer& clock) : clock_(clock) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        const qint64 now = clock_.nsecsElapsed();
        ticks_.push_back({now, std::max(0.0, double(now - last_) / 1e6 - kTickMs)});
        last_ = now;
    });
}

void LoopProbe::start() {
    last_ = clock_.nsecsElapsed();
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

double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0;
    return sorted[std::size_t(q * double(sorted.size() - 1))];
}

TimedApplication::TimedApplication(int& argc, char** argv) : QApplication(argc, argv) {
    clock_.start();
}

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
    return r;
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
        std::snprintf(buf, sizeof buf, "%s\"%s\":{\"count\":%llu,\"total_ms\":%.1f,\"max_ms\":%.2f}",
                      i ? "," : "", name ? name : std::to_string(v[i].first).c_str(),
                      static_cast<unsigned long long>(v[i].second.count), v[i].second.total_ms,
                      v[i].second.max_ms);
        out += buf;
    }
    return out + "}";
}

}  // namespace quillon::bench
