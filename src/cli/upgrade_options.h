// SPDX-License-Identifier: Apache-2.0
#pragma once
// What `quillon-cli upgrade` is asked to do, and the checks of its texts.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon::cli {

struct UpgradeOptions {
    std::array<std::string, 4> slot_paths;  // --boot, --kernel, --system, --fw
    std::string package;                    // --package: a .zip sorted into the four slots
    int threads = 2;
    bool auto_retry = false;
    bool fake_burn = false;
    bool debug = false;
    bool json = false;
    std::string csv;                   // --csv FILE: the results, one line per device
    bool verbose = false;              // show the console diagnostics too
    std::vector<std::string> devices;  // --device, in the order given
    std::string range;                 // --range A.B.C.D-E
    std::string adapter;
    std::string log_dir;  // the folder that gets "log"; default: working dir
    std::string type;     // --type: only devices of this type
    // --come-back SECONDS: how long a device may take to come back after its reboot; 0 = not
    // checked; -1 (not given) = config.ini "come_back", else 300.
    int come_back = -1;
    bool threads_given = false;  // --threads was on the command line
    bool resume = false;         // --resume [JOURNAL]: continue an unfinished batch
    std::string resume_journal;  // its journal; empty = the newest unfinished one
    // --devices-from FILE: the devices of a site list (site_list.h), each searched for by address.
    std::string devices_from;
    // --failed-to FILE: the devices that need attention, written as a site list.
    std::string failed_to;
    // --canary N: the first N devices alone first (0 = none); --max-failed N|P%: stop once more
    // devices than that failed in a pass (empty = no limit). Given ones win over a resumed batch's.
    int canary = 0;
    bool canary_given = false;
    std::string max_failed;
    // Test hooks (hidden options): the devices' ports.
    int upgrade_port = 9800;
    int discovery_port = 8400;
};

// A range of last octets within one /24, host order (first octet in the top byte).
struct AddressRange {
    uint32_t begin = 0;
    int end = 0;  // last octet of the last address
};

// "A.B.C.D-E" or "A.B.C.D-A.B.C.E": D from 1 to 254, D <= E <= 254, the same first three octets.
// Empty optional with `error` set when the text is not such a range.
std::optional<AddressRange> parse_range(const std::string& text, std::string& error);

// A dotted IPv4 address of one host (not 0.0.0.0, not 255.255.255.255).
bool is_host_address(const std::string& text);

}  // namespace quillon::cli
