// SPDX-License-Identifier: Apache-2.0
#pragma once
// The device intake: what happens to every discovery answer that the endpoint accepts.
//
// While intake is open (the search window) a new device becomes a ticked "Ready" row of the
// device list. While it is closed the answer is only compared with the devices the workers are
// upgrading (a second MAC on a worker's address is an address conflict), and in range mode it
// refreshes the rows of that address.
#include <ctime>
#include <string>
#include <vector>

#include "contract/window_port.h"
#include "contract/worker_watch.h"
#include "discovery/brelk_mul_event.h"

namespace quillon {

class DeviceIntake : public FoundDeviceSink {
public:
    using Clock = std::time_t (*)();

    // `port` and `workers` must outlive the intake. `clock` gives the begin time of new rows;
    // tests pass a fixed one.
    DeviceIntake(WindowPort& port, WorkerWatch& workers, Clock clock = &system_clock);

    // Called on the discovery receive thread, once per accepted answer.
    //
    // Missing elements (null pointers):
    // - no ip, or an ip that is not a dotted IPv4 address: the answer is dropped. The address is
    //   the row's identity and the target of everything done with the row later (the upgrade
    //   connection, ping, the device's web page), so such a row could never be used and would
    //   only hand an arbitrary text to those steps.
    // - no id: read as an empty id (type code 5, DEVID empty). The device still has an address
    //   and a MAC and can be upgraded; dropping it would hide a real device from the installer.
    // - no mac or version: empty text. No status: the "Ready" word of the current language.
    void add_found_device(const char* ip, const char* id, const char* mac, const char* version,
                          const char* status) override;
    // The answers read together from the sockets, each as add_found_device, but judged by
    // the time it arrived: one that came within a search window is listed although the window
    // has closed by the time it is read. The devices to list go to the window in one request
    // (answers that only refresh rows or reveal a conflict are handled in their turn).
    void add_found_devices(const std::vector<ReceivedAnswer>& answers, const char* status) override;

    // A device named by the person (quillon-cli --device): listed as an answer from `ip`
    // without id, MAC and version would be, whether the intake is open or not, so that the
    // intake can stay closed to answers nobody asked for. The row, or -1 (no IPv4 address, or
    // already listed).
    int add_named_device(const std::string& ip);

    static std::time_t system_clock();

private:
    FoundDevice found_device(const std::string& ip, const std::string& id, const std::string& mac,
                             const std::string& version, const std::string& status,
                             std::time_t now) const;
    // One answer: a device to list is appended to `pending`; any other answer first hands
    // `pending` to the window, then does its work.
    void take(const char* ip, const char* id, const char* mac, const char* version,
              const char* status, ArrivalTime arrived, std::vector<FoundDevice>& pending);
    void watch_conflicts(const std::string& ip, const std::string& mac);

    WindowPort& port_;
    WorkerWatch& workers_;
    Clock clock_;
};

// True for a dotted-decimal IPv4 address text (four decimal parts 0..255, nothing else).
bool is_ipv4_text(const char* text);

}  // namespace quillon
