// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the window benchmark watches on the GUI thread:
//   - LoopProbe: a timer that asks to run every 10 ms; how late each run comes is how long the
//     event loop was busy elsewhere, which is what a person feels as a frozen window;
//   - TimedApplication: the application object, timing every event it hands to an object on
//     the GUI thread (outermost deliveries only), by event type, so that a slow loop can be
//     traced to the kind of work that held it (another thread's request, a repaint, a timer).
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace quillon::bench {

class LoopProbe {
public:
    static constexpr int kTickMs = 10;

    // Made on the GUI thread, whose run-queue delay it follows.
    explicit LoopProbe(const QElapsedTimer& clock);
    void start();
    void stop();

    struct Tick {
        qint64 at_ns;    // when the run came, on the clock given
        double late_ms;  // how much later than asked
        // Since the run before: the GUI thread's own CPU time, and its time ready to run but
        // waiting for a core (the kernel's run-queue delay). What the delay leaves beside them
        // the thread spent blocked (a lock, a system call).
        double cpu_ms;
        double runq_ms;
    };
    const std::vector<Tick>& ticks() const { return ticks_; }
    // The delays of the runs that came within [from_ns, to_ns], sorted.
    std::vector<double> delays(qint64 from_ns, qint64 to_ns) const;
    // The `count` latest runs within [from_ns, to_ns], latest first, as a JSON list with times
    // in seconds after from_ns.
    std::string worst_json(qint64 from_ns, qint64 to_ns, std::size_t count) const;

private:
    const QElapsedTimer& clock_;
    UniqueFd schedstat_;  // /proc/thread-self/schedstat of the GUI thread
    QTimer timer_;
    qint64 last_ = 0;
    double last_cpu_ms_ = 0, last_runq_ms_ = 0;
    std::vector<Tick> ticks_;
};

// q-quantile (0..1) of sorted values; 0 for none.
double quantile(const std::vector<double>& sorted, double q);

class TimedApplication : public QApplication {
public:
    // Times are taken on `clock`, which must outlive the application object's use.
    TimedApplication(int& argc, char** argv, const QElapsedTimer& clock);

    bool notify(QObject* receiver, QEvent* event) override;

    struct PerType {
        std::uint64_t count = 0;
        double total_ms = 0;
        double max_ms = 0;
    };
    // Only while recording; reset() forgets what was recorded so far.
    void record(bool on) { recording_ = on; }
    void reset() {
        per_type_.clear();
        longest_.clear();
    }
    const std::map<int, PerType>& per_type() const { return per_type_; }
    // The `count` longest single deliveries, longest first, as a JSON list with times in seconds
    // after from_ns of the clock given to set_clock.
    std::string longest_json(qint64 from_ns, std::size_t count) const;
    // {"MetaCall":{"count":..,"total_ms":..,"max_ms":..},...}, the types that took longest first.
    std::string per_type_json(std::size_t at_most) const;

private:
    const QElapsedTimer& clock_;
    int depth_ = 0;  // GUI thread only
    bool recording_ = false;
    std::map<int, PerType> per_type_;
    struct Delivery {
        double ms;
        qint64 at_ns;
        int type;
    };
    std::vector<Delivery> longest_;  // a few, kept sorted, longest first
};

}  // namespace quillon::bench
