// SPDX-License-Identifier: Apache-2.0
#pragma once
// The one writer of the diagnostic lines ("process one ... ret = 0", "Device is unreachable."):
// every thread's lines go through debug_line, whole, to one sink for the whole process. Without
// a sink they go to standard output; the debug log (debug_log.h) installs itself as the sink,
// quillon-cli drops them, tests keep them to read.
#include <optional>
#include <string_view>

namespace quillon {

// Takes the diagnostic lines. write_debug runs under the writer's lock, one whole line (or the
// text of one call) at a time, so a sink needs no lock of its own against other writers; it may
// take only a leaf lock of its own (for a reader on another thread).
class DebugSink {
public:
    virtual ~DebugSink() = default;
    virtual void write_debug(std::string_view text) = 0;
};

// printf rules, no length limit; the text as given (the caller writes its "\n").
void debug_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Pushes what standard output still holds, before the process ends without running exit().
void flush_debug_lines();

// Installs a sink for the whole process while it lives; the latest one still alive takes the
// lines, so they may end in any order.
class ScopedDebugSink {
public:
    explicit ScopedDebugSink(DebugSink& sink);
    ~ScopedDebugSink();
    ScopedDebugSink(const ScopedDebugSink&) = delete;
    ScopedDebugSink& operator=(const ScopedDebugSink&) = delete;

private:
    friend void debug_line(const char*, ...);
    DebugSink* sink_;
    ScopedDebugSink* below_ = nullptr;  // the one installed before; guarded by the writer's lock
};

// A sink that drops every line: quillon-cli without --debug, where standard output is the
// summary's.
class DroppedDebugLines final : public DebugSink {
public:
    void write_debug(std::string_view) override {}
};

// Drops the diagnostic lines while it lives.
class QuietDebugLines {
public:
    QuietDebugLines() : installed_(dropped_) {}

private:
    DroppedDebugLines dropped_;
    ScopedDebugSink installed_;
};

}  // namespace quillon
