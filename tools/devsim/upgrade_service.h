// SPDX-License-Identifier: Apache-2.0
#pragma once
// The devices' upgrade service: one listening TCP socket per device, bound to the device's
// address, served by one accepting thread; every connection gets a thread of its own.
//
// Why not one wildcard listener: the kernel completes the handshake before the program sees a
// connection, so a wildcard listener cannot refuse one address while serving the others. With a
// listener per address, an away device simply has none (connections are refused) or drops
// connection attempts (DownMode::silent), exactly as a device does.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fleet_state.h"
#include "options.h"
#include "platform/unique_fd.h"
#include "record_log.h"
#include "upgrade_session.h"

namespace quillon::devsim {

class UpgradeService {
public:
    UpgradeService(FleetState& state, const SimOptions& options, RecordLog& log);
    UpgradeService(const UpgradeService&) = delete;
    UpgradeService& operator=(const UpgradeService&) = delete;
    ~UpgradeService();

    // Opens the listeners and starts the accepting thread. Empty text, or what went wrong.
    std::string start();
    // Ends every connection (each writes its record) and joins all threads.
    void stop();

    uint64_t connections() const { return connections_.load(); }
    uint64_t successes() const { return successes_.load(); }

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void run();
    // Called by a session after its device went away: returns once the listener side has
    // caught up, so that nobody can connect to the device after it dropped the connection.
    void device_went_away();
    void reconcile(Clock::time_point now);
    std::string open_listener(std::size_t i);
    void accept_all(std::size_t i);
    void reap(bool all);

    FleetState& state_;
    const SimOptions& options_;
    RecordLog& log_;
    SessionContext ctx_;
    std::vector<UniqueFd> listeners_;  // owned by the accepting thread once it runs
    std::vector<bool> dropping_;       // DownMode::silent: listener set to drop everything
    std::list<std::unique_ptr<Worker>> workers_;  // owned by the accepting thread
    UniqueFd stop_;  // eventfd, written once by stop(): readable for ever after
    UniqueFd wake_;  // eventfd: a device went away, look at the listeners again
    std::thread thread_;
    std::mutex away_mutex_;  // owner: device_went_away / run; guards the two counters below
    std::condition_variable away_cv_;
    uint64_t away_requested_ = 0;
    uint64_t away_done_ = 0;
    bool stopping_ = false;
    std::atomic<uint64_t> connections_{0};
    std::atomic<uint64_t> successes_{0};
};

}  // namespace quillon::devsim
