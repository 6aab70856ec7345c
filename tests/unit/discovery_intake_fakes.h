// SPDX-License-Identifier: Apache-2.0
#pragma once
// The engine's worker slots as the intake's conflict watch sees them.
#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/intake.h"

namespace quillon::test {

class FakeWorkers : public WorkerWatch {
public:
    struct Slot {
        bool exists = false;
        std::string ip, mac;
    };

    std::mutex mu;
    int count = 0;
    std::array<Slot, kMaxWorkers> slots;
    std::array<std::atomic<int>, kMaxWorkers> conflict{};
    std::vector<int> queried;  // worker indexes asked for, in order

    void set(int i, const std::string& ip, const std::string& mac, bool exists = true) {
        std::lock_guard<std::mutex> g(mu);
        slots[i] = {exists, ip, mac};
    }
    int flagged() const {
        int n = 0;
        for (const auto& c : conflict) n += c.load();
        return n;
    }

    int worker_count() override {
        std::lock_guard<std::mutex> g(mu);
        return count;
    }
    bool watched_device(int i, Watched& out) override {
        std::lock_guard<std::mutex> g(mu);
        queried.push_back(i);
        if (i < 0 || i >= kMaxWorkers || !slots[i].exists) return false;
        out.ip = slots[i].ip;
        out.mac = slots[i].mac;
        return true;
    }
    void flag_conflict(int i, const std::string& ip) override {
        std::lock_guard<std::mutex> g(mu);
        if (slots[i].ip == ip) conflict.at(i).store(1);
    }
};

}  // namespace quillon::test
