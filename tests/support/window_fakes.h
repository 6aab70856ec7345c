// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window's outside world replaced, for the controller's tests and the Qt window's alike: an
// engine and a discovery that record what they were told, and the person at the window, whose
// answers and file choices the test scripts. No toolkit: the controller's tests have no Qt.
// For the programs that link the window controller (its interfaces are declared there).
#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "window/discovery_link.h"
#include "window/engine_link.h"

namespace quillon::test {

class RecordingEngine : public EngineLink {
public:
    std::atomic<int> running_flag{0};
    BatchSettings last;  // the settings of the last START
    int batches = 0;     // how many batches were started
    int stops = 0;
    int auto_retry = -1;
    std::string status[10];
    int img[10] = {};
    int dev[10] = {};
    std::string probe_ip, probe_mac;
    bool conflict = false;

    bool running() const override { return running_flag.load() == 1; }
    void start_batch(const BatchSettings& s) override {
        last = s;
        ++batches;
        running_flag = 1;
    }
    void request_stop() override {
        running_flag = 0;
        ++stops;
    }
    void set_auto_retry(int on) override { auto_retry = on; }
    std::string worker_status(int w) override { return status[w]; }
    int img_percent(int w) override { return img[w]; }
    int dev_percent(int w) override { return dev[w]; }
    void arm_conflict_probe(const std::string& ip, const std::string& mac) override {
        probe_ip = ip;
        probe_mac = mac;
    }
    bool take_conflict(std::string& ip, std::string& mac) override {
        if (!conflict) return false;
        conflict = false;
        ip = probe_ip;
        mac = probe_mac;
        return true;
    }
};

// Records the searches instead of sending them: no window test ever searches from this machine.
class RecordingDiscovery : public DiscoveryLink {
public:
    struct Search {
        int both;
        std::string target;  // empty = broadcast
    };
    std::vector<Search> searches;
    std::vector<std::string> restarts;

    void search(int both, const char* target) override {
        searches.push_back({both, target ? target : ""});
    }
    int restart(Ipv4 bind_addr) override {
        restarts.push_back(ipv4_text(bind_addr));
        return 0;
    }
};

// The person at the window: answers questions and file dialogs from the test's script, and what
// the window opened for them (web pages, pings) is kept. A view takes it as a second base.
struct ScriptedPerson {
    std::deque<bool> answers;            // for questions; No when none is left
    std::function<void()> while_asking;  // runs while a question is open (then cleared)
    std::deque<std::string> files;       // for file dialogs; cancelled when none is left
    std::vector<std::string> filters;    // each file dialog's filter, in order
    std::vector<std::string> urls, pings;

    // A question is open: its answer.
    bool answer() {
        if (while_asking) std::exchange(while_asking, nullptr)();
        if (answers.empty()) return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    // A file dialog with `filter` is open: the file chosen, or empty for Cancel.
    std::string choose_file_for(const std::string& filter) {
        filters.push_back(filter);
        if (files.empty()) return {};
        std::string f = files.front();
        files.pop_front();
        return f;
    }
};

}  // namespace quillon::test
