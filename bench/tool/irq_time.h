// SPDX-License-Identifier: Apache-2.0
#pragma once
// Interrupt work done while a measured process was on a CPU, from the kernel's trace events.
//
// In the lab the simulated devices' TCP receive and the link's shaper run as soft interrupts on
// whatever task is current, which is mostly the sending tool. A kernel without
// IRQ_TIME_ACCOUNTING charges all of that to the tool's system time; on a real network it is
// done by other machines and by the NIC. Tracing the interrupt entries and exits of the tool's
// tasks tells how much of its CPU time that was.
//
// Uses a private tracefs instance (root only); the global trace buffer is left alone.
#include <sys/types.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

#include "platform/unique_fd.h"

namespace quillon::bench {

struct IrqTotals {
    double irq_s = 0;                         // hard and soft interrupts, nested ones counted once
    std::map<std::string, double> softirq_s;  // by softirq ("NET_RX", "NET_TX", ...), not nested
    long events = 0;
    long lost = 0;  // events the kernel dropped: the figure is then low
};

// One line of the trace's text output: the CPU, the time stamp and the event, or false for a
// line that is no event (a "LOST" notice sets `lost`).
struct TraceEvent {
    int cpu = -1;
    double t = 0;
    std::string name;    // "softirq_entry", "local_timer_exit", ...
    std::string action;  // of a softirq event: "NET_RX", ...
};
bool parse_trace_line(const std::string& line, TraceEvent& ev, long& lost);

// Adds the events in order, per CPU; entries and exits of one CPU nest.
class IrqAccumulator {
public:
    void add(const TraceEvent& ev);
    const IrqTotals& totals() const { return totals_; }
    // Events were dropped: an interrupt under way may never show its exit, so every CPU
    // starts afresh.
    void add_lost(long n) {
        totals_.lost += n;
        cpus_.clear();
    }

private:
    struct Cpu {
        int depth = 0;
        double since = 0;
        std::string soft_action;
        double soft_since = -1;
    };
    std::map<int, Cpu> cpus_;
    IrqTotals totals_;
};

class IrqTrace {
public:
    IrqTrace() = default;
    ~IrqTrace();
    IrqTrace(const IrqTrace&) = delete;
    IrqTrace& operator=(const IrqTrace&) = delete;

    // Creates the instance and enables the events, following no task yet. False, with the
    // reason, where tracefs is not mounted or not writable.
    bool open(std::string& why);
    // Follows `pid` and every task it starts after this call (threads included), and starts
    // reading the events.
    bool follow(pid_t pid, std::string& why);
    // Stops tracing, reads what is left and returns the totals.
    IrqTotals finish();

private:
    void read_loop();
    bool write_file(const std::string& name, const std::string& value) const;

    std::string dir_;  // the instance's folder; empty when none was made
    UniqueFd pipe_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    IrqAccumulator acc_;  // the reader's until it is joined
};

}  // namespace quillon::bench
