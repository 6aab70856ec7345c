// SPDX-License-Identifier: Apache-2.0
#include "fleet.h"

#include <arpa/inet.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace quillon::devsim {

namespace {

constexpr std::size_t kMaxDevices = 60000;

bool parse_u64(const std::string& s, uint64_t& v) {
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string parse_faults(const std::string& list, Faults& out) {
    std::string norm = list;
    for (char& c : norm)
        if (c == ',') c = ' ';
    std::istringstream in(norm);
    std::string tok;
    while (in >> tok) {
        std::string name = lower(tok), arg;
        bool has_arg = false;
        if (auto eq = tok.find('='); eq != std::string::npos) {
            name = lower(tok.substr(0, eq));
            arg = tok.substr(eq + 1);
            has_arg = true;
        }
        uint64_t v = 0;
        auto need_number = [&]() -> bool { return has_arg && parse_u64(arg, v); };
        if (name == "refuse" && !has_arg) {
            out.refuse = true;
        } else if (name == "drop" && need_number()) {
            out.drop_after = v;
        } else if (name == "fail" && !has_arg) {
            out.fail = true;
        } else if (name == "hang") {
            if (has_arg && !need_number()) return "bad fault '" + tok + "' (hang or hang=BYTES)";
            out.hang_after = has_arg ? v : 0;
        } else if (name == "split" && !has_arg) {
            out.split = true;
        } else if (name == "junk" && !has_arg) {
            out.junk = true;
        } else if (name == "conflict" && !has_arg) {
            out.conflict = true;
        } else if (name == "fail-first" && need_number() && v <= 1000000) {
            out.fail_first = static_cast<int>(v);
        } else if (name == "no-return" && !has_arg) {
            out.no_return = true;
        } else if (name == "burn-ms" && need_number() && v <= 3600000) {
            out.burn_ms = static_cast<int>(v);
        } else if (name == "old-version" && !has_arg) {
            out.old_version = true;
        } else if (name == "reboot-ms" && need_number() && v <= 3600000) {
            out.reboot_ms = static_cast<int>(v);
        } else if (name == "first" && need_number() && v >= 1 && v <= 1000000) {
            out.first = static_cast<int>(v);
        } else {
            return "bad fault '" + tok +
                   "' (known: refuse, drop=BYTES, fail, hang[=BYTES], split, junk, conflict, "
                   "fail-first=N, no-return, burn-ms=MS, old-version, reboot-ms=MS, first=N)";
        }
    }
    return {};
}

Faults Faults::on_attempt(int attempt) const {
    Faults f = *this;
    if (strikes(attempt)) return f;
    f.refuse = false;
    f.drop_after.reset();
    f.fail = false;
    f.hang_after.reset();
    f.split = false;
    f.junk = false;
    return f;
}

std::optional<in_addr> parse_ipv4(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
    return a;
}

std::string format_ipv4(in_addr a) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

in_addr next_device_addr(in_addr a) {
    uint32_t h = ntohl(a.s_addr);
    do {
        ++h;
    } while ((h & 0xFF) == 0 || (h & 0xFF) == 0xFF);
    in_addr r{};
    r.s_addr = htonl(h);
    return r;
}

std::string default_device_id(std::size_t n) {
    const std::size_t cycle = n / 7;
    char buf[32];
    switch (n % 7) {
        case 0:  // PANEL: building, unit, 99, number
            std::snprintf(buf, sizeof buf, "%d%02d99%02d", 1, static_cast<int>(1 + cycle % 98),
                          static_cast<int>(1 + (cycle / 98) % 98));
            break;
        case 1:  // MONITOR: building, unit, floor, room
            std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d", 1, 1,
                          static_cast<int>(1 + (cycle / 98) % 98),
                          static_cast<int>(1 + cycle % 98));
            break;
        case 2:  // PERSON: eleven digits
            std::snprintf(buf, sizeof buf, "%llu", 12345678901ULL + cycle);
            break;
        case 3:  // CENTER: 10001 .. 19999
            std::snprintf(buf, sizeof buf, "%d", static_cast<int>(10001 + cycle % 9999));
            break;
        case 4:  // WALL: 20001 .. 29999
            std::snprintf(buf, sizeof buf, "%d", static_cast<int>(20001 + cycle % 9999));
            break;
        case 5:  // LIFT: not starting with a digit
            std::snprintf(buf, sizeof buf, "A%zu", 123 + cycle);
            break;
        default:  // OTHER: 30000, then numbers beyond 10^12
            if (cycle == 0)
                std::snprintf(buf, sizeof buf, "30000");
            else
                std::snprintf(buf, sizeof buf, "%llu", 1000000000000ULL + cycle);
            break;
    }
    return buf;
}

namespace {
std::string mac_with_prefix(in_addr a, unsigned first, unsigned second) {
    const uint32_t h = ntohl(a.s_addr);
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", first, second, (h >> 24) & 0xFF,
                  (h >> 16) & 0xFF, (h >> 8) & 0xFF, h & 0xFF);
    return buf;
}
}  // namespace

std::string mac_for(in_addr a) { return mac_with_prefix(a, 0x02, 0x51); }
std::string conflict_mac_for(in_addr a) { return mac_with_prefix(a, 0x06, 0xC0); }

int Fleet::find(in_addr a) const {
    auto it = index_.find(a.s_addr);
    return it == index_.end() ? -1 : static_cast<int>(it->second);
}

DeviceSpec& Fleet::get_or_add(in_addr a, const FleetConfig& config) {
    if (auto it = index_.find(a.s_addr); it != index_.end()) return devices_[it->second];
    DeviceSpec d;
    d.addr = a;
    d.ip = format_ipv4(a);
    d.id = default_device_id(devices_.size());
    d.mac = mac_for(a);
    d.version = config.version;
    d.next_version = config.next_version;
    index_.emplace(a.s_addr, devices_.size());
    devices_.push_back(std::move(d));
    return devices_.back();
}

// Fleet file: one line per device or run of devices,
//   ADDRESS[+COUNT] [id=TEXT] [mac=TEXT] [version=TEXT] [next_version=TEXT] [faults=LIST]
// '#' starts a comment. A line names a device that --first/--count already made (its fields are
// overridden) or adds one. With +COUNT the fields apply to COUNT devices numbered from ADDRESS.
std::string Fleet::load_file(const FleetConfig& config) {
    std::ifstream in(config.fleet_file);
    if (!in) return "cannot read fleet file '" + config.fleet_file + "'";
    std::string line;
    int lineno = 0;
    while (std::getline(in, line)) {
        ++lineno;
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::string where;
        if (!(fields >> where)) continue;
        const std::string at = config.fleet_file + ":" + std::to_string(lineno) + ": ";
        uint64_t count = 1;
        if (auto plus = where.find('+'); plus != std::string::npos) {
            if (!parse_u64(where.substr(plus + 1), count) || count == 0 || count > kMaxDevices)
                return at + "bad device count in '" + where + "'";
            where.erase(plus);
        }
        auto addr = parse_ipv4(where);
        if (!addr) return at + "'" + where + "' is not an IPv4 address";

        DeviceSpec proto;
        bool set_id = false, set_mac = false, set_version = false, set_next = false;
        Faults faults;
        bool set_faults = false;
        std::string kv;
        while (fields >> kv) {
            auto eq = kv.find('=');
            if (eq == std::string::npos) return at + "expected key=value, got '" + kv + "'";
            std::string key = lower(kv.substr(0, eq)), value = kv.substr(eq + 1);
            if (key == "id") {
                proto.id = value, set_id = true;
            } else if (key == "mac") {
                proto.mac = value, set_mac = true;
            } else if (key == "version") {
                proto.version = value, set_version = true;
            } else if (key == "next_version") {
                proto.next_version = value, set_next = true;
            } else if (key == "faults") {
                if (auto err = parse_faults(value, faults); !err.empty()) return at + err;
                set_faults = true;
            } else {
                return at + "unknown key '" + key + "' (id, mac, version, next_version, faults)";
            }
        }
        in_addr a = *addr;
        for (uint64_t i = 0; i < count; ++i, a = next_device_addr(a)) {
            if (devices_.size() >= kMaxDevices && index_.find(a.s_addr) == index_.end())
                return at + "more than " + std::to_string(kMaxDevices) + " devices";
            DeviceSpec& d = get_or_add(a, config);
            if (set_id) d.id = proto.id;
            if (set_mac) d.mac = proto.mac;
            if (set_version) d.version = proto.version;
            if (set_next) d.next_version = proto.next_version;
            if (set_faults) d.faults = faults;
        }
    }
    return {};
}

std::string Fleet::build(const FleetConfig& config) {
    devices_.clear();
    index_.clear();
    if (config.count > kMaxDevices) return "at most " + std::to_string(kMaxDevices) + " devices";
    if (config.count > 0) {
        if (!config.first) return "--count needs --first";
        in_addr a = *config.first;
        for (std::size_t i = 0; i < config.count; ++i, a = next_device_addr(a))
            get_or_add(a, config);
    }
    if (!config.fleet_file.empty())
        if (auto err = load_file(config); !err.empty()) return err;
    for (const std::string& opt : config.fault_options) {
        auto colon = opt.find(':');
        if (colon == std::string::npos) return "--fault wants ADDRESS:LIST, got '" + opt + "'";
        auto a = parse_ipv4(opt.substr(0, colon));
        if (!a) return "--fault: '" + opt.substr(0, colon) + "' is not an IPv4 address";
        int i = find(*a);
        if (i < 0) return "--fault: " + opt.substr(0, colon) + " is not a device of the fleet";
        if (auto err = parse_faults(opt.substr(colon + 1), devices_[i].faults); !err.empty())
            return "--fault: " + err;
    }
    if (devices_.empty()) return "no devices (give --first and --count, or --fleet FILE)";
    for (DeviceSpec& d : devices_)
        if (d.next_version.empty()) d.next_version = d.version + "-new";
    return {};
}

}  // namespace quillon::devsim
