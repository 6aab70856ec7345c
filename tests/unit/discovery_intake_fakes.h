// SPDX-License-Identifier: Apache-2.0
#pragma once
// The engine's worker slots as the intake's conflict watch sees them, and a scratch folder.
#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
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

class TempDir {
public:
    // A new folder of a random name (create_directory fails on one that exists).
    TempDir() {
        std::random_device rd;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::filesystem::path p = std::filesystem::temp_directory_path() /
                                            ("quillon_intake_" + std::to_string(rd()));
            std::error_code ec;
            if (std::filesystem::create_directory(p, ec)) path_ = p;
        }
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace quillon::test
