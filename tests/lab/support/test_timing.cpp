// SPDX-License-Identifier: Apache-2.0
#include "test_timing.h"

#include <cstdlib>
#include <cstring>

#include "platform/timing.h"

namespace quillon::cli {
namespace {

// A wait from the environment, 100 ms to 300 s; anything else keeps `dflt`.
std::chrono::milliseconds env_ms(const char* name, std::chrono::milliseconds dflt) {
    const char* v = std::getenv(name);
    if (!v) return dflt;
    char* end = nullptr;
    const long ms = std::strtol(v, &end, 10);
    if (end == v || *end != '\0' || ms < 100 || ms > 300000) return dflt;
    return std::chrono::milliseconds(ms);
}

}  // namespace

bool apply_test_timing_from_env() {
    const char* v = std::getenv("QUILLON_TEST_TIMING");
    if (!v || std::strcmp(v, "fast") != 0) return false;
    using std::chrono::milliseconds;
    Timing& t = timing();
    t.conflict_wait_step = milliseconds(50);
    t.fake_extra_wait = milliseconds(20);
    t.fake_step_unit = milliseconds(2);
    t.connect_attempts = 3;
    t.connect_wait = milliseconds(1000);
    t.range_first_wait = milliseconds(1000);
    t.driver_poll = milliseconds(10);
    t.pass_settle = milliseconds(10);
    t.reboot_pause = milliseconds(10);
    t.search_window = milliseconds(1500);
    t.come_back_interval = milliseconds(200);
    t.exchange_idle_limit = milliseconds(20000);
    // A matrix of faults waits out the idle limit for every hang and the connect wait for every
    // refused attempt, in every pass; it may ask for shorter ones.
    t.exchange_idle_limit = env_ms("QUILLON_TEST_IDLE_MS", t.exchange_idle_limit);
    t.connect_wait = env_ms("QUILLON_TEST_CONNECT_MS", t.connect_wait);
    return true;
}

}  // namespace quillon::cli
