// SPDX-License-Identifier: Apache-2.0
#include "log/debug_line.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "log/format_message.h"

namespace quillon {

namespace {

// The debug lines' lock; this file owns it. Held while one line is written whole (the sink's
// write_debug runs under it) and while a sink is put in or taken out, so a sink never goes
// while a line is being written to it. Taken under g_list_lock; under it only a sink's own leaf
// lock. Constant-initialised and never torn down, so threads still writing while the process
// ends find it.
std::mutex g_debug_lock;
// The latest installed sink, on top of the ones before it (their below_); guarded by
// g_debug_lock. None: standard output.
ScopedDebugSink* g_top = nullptr;

}  // namespace

void debug_line(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string text = format_message(fmt, args);
    va_end(args);
    if (text.empty()) return;
    std::lock_guard<std::mutex> g(g_debug_lock);
    if (g_top)
        g_top->sink_->write_debug(text);
    else
        std::fwrite(text.data(), 1, text.size(), stdout);
}

void flush_debug_lines() {
    std::lock_guard<std::mutex> g(g_debug_lock);
    std::fflush(stdout);
}

ScopedDebugSink::ScopedDebugSink(DebugSink& sink) : sink_(&sink) {
    std::lock_guard<std::mutex> g(g_debug_lock);
    below_ = g_top;
    g_top = this;
}

ScopedDebugSink::~ScopedDebugSink() {
    std::lock_guard<std::mutex> g(g_debug_lock);
    for (ScopedDebugSink** at = &g_top; *at; at = &(*at)->below_) {
        if (*at == this) {
            *at = below_;
            break;
        }
    }
}

}  // namespace quillon
