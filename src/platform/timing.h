// SPDX-License-Identifier: Apache-2.0
#pragma once
// Every wait the tool makes, in one place. The programs use the defaults; tests may shorten them.
#include <chrono>

namespace quillon {

struct Timing {
    using ms = std::chrono::milliseconds;
    ms conflict_wait_step{1000};  // one of the three waits of the address-conflict check
    ms fake_extra_wait{1000};     // the simulated exchange's extra wait after the conflict check
    int connect_attempts{18};     // attempts per image (and range-mode images after the first)
    ms connect_wait{10000};       // wait per connection attempt
    int range_first_attempts{1};  // range mode, first image of a device
    ms range_first_wait{1000};
    ms select_wait{100};  // one wait of the upgrade exchange's loop
    ms exchange_idle_limit{
        300000};                  // nothing received or sent for this long: the connection is lost
    ms driver_poll{40};           // the batch driver's poll of the running flag
    ms pass_settle{200};          // pause after all workers of a pass have ended
    ms reboot_pause{1000};        // pause after an image flagged reboot-after
    ms after_search{20};          // pause after every discovery request
    ms search_window{3000};       // how long a search keeps the intake open
    ms recv_wait{200};            // the discovery receive thread's wait
    ms echo_wait{1000};           // ICMP echo reply wait
    ms fake_step_unit{100};       // the simulated exchange's step wait per worker index
    ms come_back_interval{5000};  // directed searches to a rebooting device, one per interval
    ms come_back_limit{300000};   // a device not back after this long is reported "not back"
};

// The process-wide timings. Programs never change them; tests set them before they start anything.
Timing& timing();

}  // namespace quillon
