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

// A table with a heading: address, id, MAC, version; "-" for an absent text.
std::string devices_table(const std::vector<FoundDevice>& devices);

// {"adapter":..,"address":..,"devices":[{"ip":..,"id":..,"mac":..,"version":..},..]};
// absent texts are null.
std::string devices_json(const std::vector<FoundDevice>& devices, const std::string& adapter,
                         const std::string& address);

}  // namespace quillon::cli
