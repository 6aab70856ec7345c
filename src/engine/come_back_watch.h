// SPDX-License-Identifier: Apache-2.0
#pragma once
// The come-back check: after a device has been sent the reboot record, it is watched until it
// answers a directed search again (from its address, with the MAC its row knows, or any MAC when
// the row has none) or until the limit has passed. One watcher follows every rebooting device of
// a batch at once; the workers never wait for it, only the end of the batch does.
//
// Threads:
// - workers hand devices over (watch), at the end of a successful device;
// - the discovery receive thread hands every accepted answer over (answer); it never waits for
//   anything but the watcher's own lock, held only for table look-ups;
// - the watcher's own thread sends the directed searches, one at a time (each followed by the
//   sender's pause, so that many devices never flood the link), and reports each result: the
//   row's VERSION cell or status word, a report line and the observer's device_came_back;
// - the driver thread waits for the last result (wait_all), showing how many are still awaited.
// Lock: m_lock, a leaf: never held while calling the window, the sender, the log or the
// observer.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "contract/answer_watch.h"
#include "engine/batch_observer.h"
#include "platform/ipv4.h"

namespace quillon {

class WindowPort;
class SearchSender;

class ComeBackWatch final : public AnswerWatch {
public:
    using Clock = std::chrono::steady_clock;

    ComeBackWatch() = default;
    ComeBackWatch(const ComeBackWatch&) = delete;
    ComeBackWatch& operator=(const ComeBackWatch&) = delete;
    ~ComeBackWatch();  // ends the watcher's thread

    // How long a device may take to come back; zero turns the check off. Set while no batch runs
    // (config.ini "come_back", quillon-cli --come-back). Default: timing().come_back_limit.
    void set_limit(std::chrono::milliseconds limit);
    std::chrono::milliseconds limit() const;

    // Driver thread, at the start of a batch: forgets the last batch's devices. `check` false
    // (the check is off, or the batch is a simulated one) makes watch() do nothing in this batch.
    void begin_batch(WindowPort& port, SearchSender* sender, BatchObserver* observer, bool check);

    // A worker: the device on `row` took its images and was sent the reboot record just now.
    void watch(int row, const std::string& ip, const std::string& mac,
               const std::string& version_before);

    // The discovery receive thread: an accepted answer. Counts only for a watched device that
    // has been searched for since its reboot (an earlier answer still on its way proves nothing).
    void answer(const char* ip, const char* mac, const char* version) override;

    // Driver thread, after the last pass: returns once every watched device is back or past its
    // limit and reported, or at once when `stopped` says so (then every device not yet back is
    // reported as not checked). The status line shows how many are still awaited meanwhile;
    // true when it did (the caller gives the status line back to the worker view).
    bool wait_all(const std::function<bool()>& stopped);

    // Devices of this batch not yet back and not yet past their limit.
    int awaited() const;

    // Whether begin_batch meant the check to run in this batch (a device it could not watch
    // after all has no result, rather than a good one).
    bool checking() const;

private:
    enum class State { waiting, back, not_back, unchecked, reported };
    struct Device {
        int row = 0;
        std::string ip, mac, version_before, version_after;  // ip: the row's text, as reported
        Ipv4 addr;                                           // the address searched for and matched
        Clock::time_point since{};                           // the reboot record
        Clock::time_point next_search{};                     // the next directed search
        Clock::time_point searched{};  // the first search sent (epoch: none yet)
        Clock::time_point answered{};
        State state = State::waiting;
    };

    void run();
    bool ensure_thread();  // false: no thread could be started (m_lock held)
    // Under m_lock: devices past their limit become not_back; the results to report now are
    // moved to `out` (marked reported); the next device to search for, if one is due, goes to
    // `target`. Returns when the thread should wake next.
    Clock::time_point collect(Clock::time_point now, std::vector<Device>& out, std::string& target);
    void report(const Device& d);

    mutable std::mutex m_lock;
    std::condition_variable m_wake;    // the watcher's thread: new device, answer, stop, end
    std::condition_variable m_result;  // wait_all: a result was reported
    std::vector<Device> m_devices;     // this batch's devices (guarded by m_lock)
    std::unordered_multimap<uint32_t, std::size_t>
        m_by_ip;                      // waiting devices by address (Ipv4::net)
    std::deque<std::size_t> m_queue;  // waiting devices in the order of their next search
    int m_waiting = 0;                // devices in state waiting
    int m_unreported = 0;             // devices whose result is not yet reported
    bool m_stop_batch = false;        // wait_all was stopped: the rest go unchecked
    bool m_end = false;               // the destructor: the thread ends
    bool m_check = false;
    bool m_check_meant = false;             // m_check as begin_batch decided it
    std::chrono::milliseconds m_limit{-1};  // negative: the timing struct's default
    WindowPort* m_port = nullptr;
    SearchSender* m_sender = nullptr;
    BatchObserver* m_observer = nullptr;
    std::thread m_thread;
};

}  // namespace quillon
