// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window controller with its outside world replaced: a view that keeps each control's
// state and records what the person was shown and asked (their answers are scripted), and the
// recording engine and discovery that the Qt window's tests use too. The list is the headless
// window's: the test's thread stands in for the window's thread, and every list request it makes
// is a hand-over to the headless window's thread and back, so nothing touches the table at the
// same time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "log/log_file.h"
#include "platform/timing.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"
#include "support/window_fakes.h"
#include "texts/ui_texts.h"
#include "window/control_ids.h"
#include "window/headless_window.h"
#include "window/window_controller.h"
#include "window/window_view.h"
#include "support/headless_cells.h"

namespace quillon::test {

// One control as a widget would hold it: enabled, unticked and empty when made.
struct FakeControl {
    bool enabled = true;
    bool checked = false;
    std::string text;
    std::vector<std::string> entries;
    int index = -1;
    int value = 0;
};

class FakeView : public WindowView, public ScriptedPerson {
public:
    std::map<int, FakeControl> controls;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> clipboard;
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> timers;
    int search_windows_ended = 0;
    std::vector<bool> program_endings;
    // A field's text changed, as a widget reports it (the fixture binds the package field).
    std::function<void(int id)> field_changed;

    FakeControl& at(int id) { return controls[id]; }

    void set_enabled(int id, bool on) override { controls[id].enabled = on; }
    bool is_enabled(int id) const override { return get(id).enabled; }
    void set_checked(int id, bool on) override { controls[id].checked = on; }
    bool is_checked(int id) const override { return get(id).checked; }
    void set_text(int id, const std::string& text) override { change_text(id, text); }
    std::string text(int id) const override { return get(id).text; }
    void clear_text(int id) override { change_text(id, std::string()); }
    void show_hint(int id, const std::string& text) override { controls[id].text = text; }
    void set_entries(int id, const std::vector<std::string>& entries, int current) override {
        controls[id].entries = entries;
        controls[id].index = entries.empty() ? -1 : current;
    }
    void choose_quietly(int id, int index) override { controls[id].index = index; }
    int current_index(int id) const override { return get(id).index; }
    std::string current_text(int id) const override {
        const FakeControl& c = get(id);
        return c.index >= 0 && c.index < static_cast<int>(c.entries.size()) ? c.entries[c.index]
                                                                            : std::string();
    }
    void set_value(int id, int value) override { controls[id].value = value; }
    std::array<uint8_t, 4> ipv4_octets(int id) const override {
        std::array<uint8_t, 4> out{};
        const std::string& t = get(id).text;
        std::size_t pos = 0;
        for (int i = 0; i < 4 && pos <= t.size(); ++i) {
            const std::size_t dot = t.find('.', pos);
            const std::size_t len = dot == std::string::npos ? std::string::npos : dot - pos;
            const std::string part = t.substr(pos, len);
            const int v = part.empty() ? 0 : std::atoi(part.c_str());
            out[i] = static_cast<uint8_t>(v > 255 ? 255 : (v < 0 ? 0 : v));  // as the field reads
            if (dot == std::string::npos) break;
            pos = dot + 1;
        }
        return out;
    }

    void show_message(const std::string& text) override { messages.push_back(text); }
    bool ask(const std::string& text) override {
        questions.push_back(text);
        return answer();
    }
    std::string choose_file(const std::string& filter) override { return choose_file_for(filter); }

    void open_url(const std::string& url) override { urls.push_back(url); }
    void start_ping(const std::string& ip) override { pings.push_back(ip); }
    void copy_to_clipboard(const std::string& text) override { clipboard.push_back(text); }

    void run_later(std::chrono::milliseconds delay, std::function<void()> fn) override {
        timers.emplace_back(delay, std::move(fn));
    }
    void post(std::function<void()> fn) override {
        std::lock_guard<std::mutex> g(posted_lock_);
        posted_.push_back(std::move(fn));
    }
    // The window thread's turn: runs what other threads posted so far; how many.
    int serve_posted() {
        std::vector<std::function<void()>> fns;
        {
            std::lock_guard<std::mutex> g(posted_lock_);
            fns.swap(posted_);
        }
        for (auto& fn : fns) fn();
        return static_cast<int>(fns.size());
    }

    void search_window_ended() override { ++search_windows_ended; }
    void program_ending(bool batch_running) override { program_endings.push_back(batch_running); }

private:
    const FakeControl& get(int id) const {
        static const FakeControl kNone;
        auto it = controls.find(id);
        return it == controls.end() ? kNone : it->second;
    }
    void change_text(int id, const std::string& text) {
        FakeControl& c = controls[id];
        if (c.text == text) return;  // no change, no report
        c.text = text;
        if (field_changed) field_changed(id);
    }

    std::mutex posted_lock_;  // leaf: guards posted_
    std::vector<std::function<void()>> posted_;
};

class ControllerTest : public ::testing::Test {
protected:
    TempDir dir;
    LogFile user_report;
    LogFile device_log;
    FakeView view;
    HeadlessWindow port{user_report, {"ALL", "PANEL", "MONITOR", "PERSON"}};
    WindowFlags& flags = port.flags();
    RecordingEngine engine;
    RecordingDiscovery discovery;
    std::unique_ptr<WindowController> ctl;

    void SetUp() override {
        timing() = Timing{};
        timing().search_window = std::chrono::milliseconds(20);
        ui_texts().fill(true);
        device_log.Open(dir / "upgrade_dev.log");
        ctl = std::make_unique<WindowController>(view, port, flags, device_log);
        ctl->set_engine(&engine);
        ctl->set_discovery(&discovery);
        // The package field's change runs its rule, as the window binds it.
        view.field_changed = [this](int id) {
            if (id == IDC_ZIP_PATH) ctl->on_zip_path_changed();
        };
        view.at(IDC_CLEAN).text = T(TextId::clean_button);  // set with the other texts at start-up
        ctl->init_controls();
    }
    void TearDown() override {
        ctl.reset();
        timing() = Timing{};
    }

    // A device as discovery intake lists it (ticked, tag -1, record saved).
    int add_device(const std::string& ip, const std::string& mac, const std::string& type,
                   const std::string& version = "V1.0") {
        flags.intake_closed = 0;
        FoundDevice d;
        d.ip = ip;
        d.mac = mac;
        d.type_name = type;
        d.version = version;
        d.status = "Ready";
        d.begin_time = "2024-01-01 00:00:00";
        const int row = port.insert_found_device(d);
        flags.intake_closed = 1;
        return row;
    }
    std::vector<std::string> column(int col) {
        std::vector<std::string> out;
        for (int r = 0; r < port.row_count(); ++r) out.push_back(test::cell_of(port, r, col));
        return out;
    }
    std::string device_log_text() { return read_file(dir / "upgrade_dev.log"); }
    // An image in the BOOT slot, so that START goes past the image step.
    void choose_boot_image() { view.at(IDC_BOOT_PATH).text = "/images/boot.img"; }
};

}  // namespace quillon::test
