// SPDX-License-Identifier: Apache-2.0
// The interrupt work the benchmarks take out of the fleet's CPU figure: reading the kernel's
// trace lines and adding up their intervals. Counting too much would flatter the tool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irq_time.h"

namespace quillon::bench {
namespace {

TEST(BenchTraceLine, ReadsCpuTimeEventAndSoftirqAction) {
    TraceEvent ev;
    long lost = 0;
    ASSERT_TRUE(parse_trace_line(
        "     quillon-cli-17650   [001] .Ns1. 69220.374123: softirq_entry: vec=3 [action=NET_RX]",
        ev, lost));
    EXPECT_EQ(ev.cpu, 1);
    EXPECT_DOUBLE_EQ(ev.t, 69220.374123);
    EXPECT_EQ(ev.name, "softirq_entry");
    EXPECT_EQ(ev.action, "NET_RX");

    // A command name with spaces and brackets, and a hard interrupt without an action.
    ASSERT_TRUE(
        parse_trace_line("Thread (pooled)-9 [x] [012] d.h.. 5.000001: local_timer_exit: vector=236",
                         ev, lost));
    EXPECT_EQ(ev.cpu, 12);
    EXPECT_DOUBLE_EQ(ev.t, 5.000001);
    EXPECT_EQ(ev.name, "local_timer_exit");
    EXPECT_EQ(ev.action, "");

    // Without the flags column (the trace's irq-info option off).
    ASSERT_TRUE(
        parse_trace_line("  bash-1 [000] 7.5: irq_handler_entry: irq=11 name=virtio0", ev, lost));
    EXPECT_EQ(ev.cpu, 0);
    EXPECT_DOUBLE_EQ(ev.t, 7.5);
    EXPECT_EQ(ev.name, "irq_handler_entry");
    EXPECT_EQ(lost, 0);
}

TEST(BenchTraceLine, HeadersAndLossNoticesAreNoEvents) {
    TraceEvent ev;
    long lost = 0;
    EXPECT_FALSE(parse_trace_line("# tracer: nop", ev, lost));
    EXPECT_FALSE(
        parse_trace_line("#           TASK-PID     CPU#  |||||  TIMESTAMP  FUNCTION", ev, lost));
    EXPECT_FALSE(parse_trace_line("", ev, lost));
    EXPECT_FALSE(parse_trace_line("  quillon-1 [001] .... garbled", ev, lost));
    EXPECT_FALSE(parse_trace_line("CPU:1 [LOST 42 EVENTS]", ev, lost));
    EXPECT_FALSE(parse_trace_line("CPU:0 [LOST 8 EVENTS]", ev, lost));
    EXPECT_EQ(lost, 50);
}

struct Step {
    int cpu;
    double t;
    const char* name;
    const char* action = "";
};

IrqTotals run(const std::vector<Step>& steps) {
    IrqAccumulator acc;
    for (const Step& s : steps) acc.add(TraceEvent{s.cpu, s.t, s.name, s.action});
    return acc.totals();
}

TEST(BenchIrqTotals, NestedInterruptsCountOnceAndCpusApart) {
    const IrqTotals t = run({
        {0, 10.000, "softirq_entry", "NET_RX"},
        {0, 10.001, "local_timer_entry"},  // a timer inside the soft interrupt
        {0, 10.002, "local_timer_exit"},
        {1, 10.0015, "softirq_entry", "NET_TX"},  // the other CPU at the same time
        {1, 10.0035, "softirq_exit", "NET_TX"},
        {0, 10.004, "softirq_exit", "NET_RX"},
        {0, 11.000, "local_timer_entry"},
        {0, 11.0005, "local_timer_exit"},
    });
    EXPECT_NEAR(t.irq_s, 0.004 + 0.002 + 0.0005, 1e-9);
    EXPECT_NEAR(t.softirq_s.at("NET_RX"), 0.004, 1e-9);
    EXPECT_NEAR(t.softirq_s.at("NET_TX"), 0.002, 1e-9);
    EXPECT_EQ(t.events, 8);
}

TEST(BenchIrqTotals, AnExitWithoutItsEntryCountsNothing) {
    // The trace began inside an interrupt: its end alone says nothing about its length, and it
    // must not unbalance the nesting of what follows.
    const IrqTotals t = run({
        {0, 5.0, "softirq_exit", "NET_RX"},
        {0, 5.1, "local_timer_exit"},
        {0, 6.0, "local_timer_entry"},
        {0, 6.001, "local_timer_exit"},
    });
    EXPECT_NEAR(t.irq_s, 0.001, 1e-9);
    EXPECT_TRUE(t.softirq_s.empty());
}

TEST(BenchIrqTotals, AfterLostEventsEveryCpuStartsAfresh) {
    IrqAccumulator acc;
    acc.add({0, 1.0, "softirq_entry", "NET_RX"});
    acc.add({0, 1.5, "local_timer_entry", ""});
    acc.add_lost(3);  // the exits of both were among the lost events
    acc.add({0, 9.0, "local_timer_entry", ""});
    acc.add({0, 9.25, "local_timer_exit", ""});
    // Without the fresh start the depth would still be 2 and nothing after it would count, or
    // the whole time since 1.0 would.
    EXPECT_NEAR(acc.totals().irq_s, 0.25, 1e-9);
    EXPECT_EQ(acc.totals().lost, 3);
}

}  // namespace
}  // namespace quillon::bench
