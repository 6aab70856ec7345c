#include "cli/test_timing.h"

#include <cstdlib>
#include <cstring>

#include "platform/timing.h"

namespace quillon::cli {

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
    t.exchange_idle_limit = milliseconds(20000);
    return true;
}

}  // namespace quillon::cli
