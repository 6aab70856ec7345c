// SPDX-License-Identifier: Apache-2.0
#pragma once
// The simulated fleet as configured: one entry per device address with its id, MAC, version
// and the ways it is told to misbehave. Built from --first/--count and an optional fleet file.
#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillon::devsim {

// How one device misbehaves. Every field off: a well-behaved device.
struct Faults {
    bool refuse = false;                 // "refuse": never accepts an upgrade connection
    std::optional<uint64_t> drop_after;  // "drop=K": closes the connection after K image bytes
    bool fail = false;                   // "fail": F with value 0 for every image
    std::optional<uint64_t>
        hang_after;                // "hang[=K]": after K image bytes reads and sends nothing more
    bool split = false;            // "split": every record byte by byte, short pauses between
    bool junk = false;             // "junk": a record with an unknown code before every record
    bool conflict = false;         // "conflict": a second answer to each search, with another MAC
    int fail_first = 0;            // "fail-first=N": the first N connections end with F value 0
    bool no_return = false;        // "no-return": goes away for good on a reboot record
    std::optional<int> burn_ms;    // "burn-ms=MS": this device burns for MS per image
    bool old_version = false;      // "old-version": comes back from a reboot with the
                                   // version it had (the image took but did not boot)
    std::optional<int> reboot_ms;  // "reboot-ms=MS": away for MS after a reboot record
    int first = 0;                 // "first=N": refuse, drop, fail, hang, split and junk
                                   // strike on the first N connections only; 0 = on all
    // Whether the transient faults (refuse, drop, fail, hang, split, junk) strike on connection
    // number `attempt` (1 for the first).
    bool strikes(int attempt) const { return first == 0 || attempt <= first; }
    // These faults as they act on connection number `attempt`: the transient ones cleared
    // once `first` connections have passed.
    Faults on_attempt(int attempt) const;
    // "refuse" on every connection: the device has no upgrade port at all.
    bool refuses_always() const { return refuse && first == 0; }
};

// Parses a fault list such as "drop=4096,split junk" (comma or blank separated) into `out`.
// Returns an empty text on success, else what is wrong.
std::string parse_faults(const std::string& list, Faults& out);

struct DeviceSpec {
    in_addr addr{};
    std::string ip;  // dotted form of addr
    std::string id;
    std::string mac;
    std::string version;
    std::string next_version;  // version after a reboot that followed a good image
    Faults faults;
};

// Address arithmetic shared with tools/lab: devices are numbered upwards from the first address,
// skipping every address whose last octet is 0 or 255.
std::optional<in_addr> parse_ipv4(const std::string& text);
std::string format_ipv4(in_addr a);
in_addr next_device_addr(in_addr a);

// The default id of the n-th generated device: the types PANEL, MONITOR, PERSON, CENTER, WALL,
// LIFT, OTHER in turn, each cycle with other numbers ("1019901", "01010101", "12345678901",
// "10001", "20001", "A123", "30000" for the first seven).
std::string default_device_id(std::size_t n);
// A locally administered MAC made of the address: 02:51:C6:12:00:0A for 198.18.0.10.
std::string mac_for(in_addr a);
// The MAC of the second device that a "conflict" device pretends to share its address with.
std::string conflict_mac_for(in_addr a);

struct FleetConfig {
    std::optional<in_addr> first;
    std::size_t count = 0;
    std::string fleet_file;
    std::string version = "1.0.0";
    std::string next_version;                // empty: version + "-new"
    std::vector<std::string> fault_options;  // "ADDR:LIST" as given on the command line
};

class Fleet {
public:
    // Builds the fleet. Returns an empty text on success, else a message for the user.
    std::string build(const FleetConfig& config);

    const std::vector<DeviceSpec>& devices() const { return devices_; }
    std::size_t size() const { return devices_.size(); }
    // Index of the device holding this address (network byte order), or -1.
    int find(in_addr a) const;

private:
    DeviceSpec& get_or_add(in_addr a, const FleetConfig& config);
    std::string load_file(const FleetConfig& config);

    std::vector<DeviceSpec> devices_;
    std::unordered_map<uint32_t, std::size_t> index_;
};

}  // namespace quillon::devsim
