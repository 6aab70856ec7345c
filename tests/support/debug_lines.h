// SPDX-License-Identifier: Apache-2.0
#pragma once
// The engine's diagnostic lines kept for a test to read, from every thread, while the object
// lives; nothing of them reaches standard output then.
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "log/debug_line.h"

namespace quillon::test {

class DebugLines final : public DebugSink {
public:
    DebugLines() : installed_(*this) {}

    // Everything written since the start or the last take, and forgets it.
    std::string take() {
        std::lock_guard<std::mutex> g(lock_);
        return std::exchange(text_, {});
    }

    void write_debug(std::string_view text) override {
        std::lock_guard<std::mutex> g(lock_);
        text_ += text;
    }

private:
    std::mutex lock_;  // text_; a leaf, taken under the writer's lock
    std::string text_;
    ScopedDebugSink installed_;  // last: put in once the rest is ready, taken out first
};

}  // namespace quillon::test
