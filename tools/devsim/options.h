// SPDX-License-Identifier: Apache-2.0
#pragma once
// The simulator's settings besides the fleet itself.
#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace quillon::devsim {

enum class DownMode {
    refuse,  // an away device's port is closed: connection attempts are refused at once
    silent,  // an away device drops connection attempts: they time out
};

struct SimOptions {
    uint16_t discovery_port = 8400;
    uint16_t upgrade_port = 9800;
    in_addr discovery_bind{};  // 0.0.0.0
    int burn_ms = 300;         // one image's burn, spread over 11 B records
    int reboot_ms = 3000;      // how long a device is away after a reboot record
    int answer_spread_ms = 0;  // answers to one broadcast search spread over this window
    int idle_timeout_ms =
        120000;              // a device closes a connection on which nothing came for this long
    int split_pause_ms = 2;  // pause between the bytes of a split record
    uint64_t max_image_bytes = 512ull << 20;  // a larger header length is refused (F value 0)
    DownMode down_mode = DownMode::refuse;
    std::string record_path;
    bool verbose = false;
};

}  // namespace quillon::devsim
