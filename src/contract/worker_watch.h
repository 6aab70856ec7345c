// SPDX-License-Identifier: Apache-2.0
#pragma once
// The intake's view of the engine's workers. It lives here, beside the window port, so that the
// engine (which implements it, engine_worker_watch.h) and discovery (which uses it) meet in a
// contract of their own instead of one including the other.
#include <string>

namespace quillon {

// What the intake needs of the engine's workers; the engine implements it. Every call may come
// from the discovery receive thread while workers run, so each must be free of data races and
// must not wait for the window thread.
class WorkerWatch {
public:
    static constexpr int kMaxWorkers = 10;

    // One worker's current device: its address and the MAC it expects there.
    struct Watched {
        std::string ip, mac;
    };

    virtual ~WorkerWatch() = default;
    // The number of worker slots of the batch (m_thread_num); values beyond 0..kMaxWorkers are
    // clamped by the intake.
    virtual int worker_count() = 0;
    // False when worker i has no thread (m_thread[i] unset). Otherwise copies m_cur_ip[i] and
    // m_cur_mac[i] into `out` as one consistent pair: a pair mixed from two devices could report
    // a conflict that does not exist.
    virtual bool watched_device(int i, Watched& out) = 0;
    // m_ip_conflict[i] = 1, waking worker i if it waits for it (UpgradeEngine::flag_conflict),
    // when worker i is still on address `ip`: it may have taken another device since
    // watched_device, and that one's check must not fail for this answer.
    virtual void flag_conflict(int i, const std::string& ip) = 0;
};

}  // namespace quillon
