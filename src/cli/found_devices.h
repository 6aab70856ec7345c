// SPDX-License-Identifier: Apache-2.0
#pragma once
// The devices that answered one search, each once, in the order their first answer came.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "discovery/brelk_mul_event.h"

namespace quillon::cli {

struct FoundDevice {
    std::string ip;
    std::optional<std::string> id, mac, version;  // empty optional: not in the answer
    std::string adapter{};  // the adapter it answered on (set after the search)
};

// An adapter searched on: its name and address.
struct SearchedAdapter {
    std::string name, address;
};

// Collects answers from the receive thread. Two answers are the same device when their
// addresses are equal or their MACs are equal (an absent or empty MAC matches nothing). An
// answer without an address is dropped: there is nothing to reach the device by.
class FoundDevices : public FoundDeviceSink {
public:
    void add_found_device(const char* ip, const char* id, const char* mac, const char* version,
                          const char* status) override;
    std::vector<FoundDevice> list() const;

private:
    mutable std::mutex m_lock;  // guards m_devices; held only inside these two calls
    std::vector<FoundDevice> m_devices;
};

// A table with a heading: address, id, MAC, version, and with `with_adapter` the adapter; "-"
// for an absent text.
std::string devices_table(const std::vector<FoundDevice>& devices, bool with_adapter = false);

// {"adapter":..,"address":..,"adapters":[{"name":..,"address":..},..],
//  "devices":[{"ip":..,"id":..,"mac":..,"version":..,"adapter":..},..]};
// absent texts are null. With one adapter searched, "adapter" and "address" are its own; with
// `all`, "adapter" is "all" and "address" null. A device's "adapter" is null when unknown.
std::string devices_json(const std::vector<FoundDevice>& devices,
                         const std::vector<SearchedAdapter>& adapters, bool all);

}  // namespace quillon::cli
