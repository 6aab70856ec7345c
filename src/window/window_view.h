// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the window controller asks of the widgets and of the person in front of them. The Qt
// dialog implements it over its widgets; the controller's tests implement it with a recorder.
// Controls are named by their numbers (control_ids.h). Everything here runs on the window's
// thread, except post(), which any thread may call.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillon {

class WindowView {
public:
    virtual ~WindowView() = default;

    // ---- controls ----
    virtual void set_enabled(int id, bool on) = 0;
    virtual bool is_enabled(int id) const = 0;
    // A check box's mark; the box's own command does not run (it runs on a click only).
    virtual void set_checked(int id, bool on) = 0;
    virtual bool is_checked(int id) const = 0;
    // The text of a button, a label or a field. A field whose text changes reports the change
    // as an edit by the user would (the package field: its emptied-field rule runs).
    virtual void set_text(int id, const std::string& text) = 0;
    virtual std::string text(int id) const = 0;
    // Select all of a field's text and delete it: a change of the field when it held any.
    virtual void clear_text(int id) = 0;
    // A hint in a field, shown from its start; not a change of the field.
    virtual void show_hint(int id, const std::string& text) = 0;
    // A drop-down list's entries replaced and `current` chosen (-1: none), without a change
    // of choice being reported.
    virtual void set_entries(int id, const std::vector<std::string>& entries, int current) = 0;
    // A drop-down list's choice, without a change of choice being reported.
    virtual void choose_quietly(int id, int index) = 0;
    virtual int current_index(int id) const = 0;
    virtual std::string current_text(int id) const = 0;
    // A progress bar's position.
    virtual void set_value(int id, int value) = 0;
    // An IPv4 address field: its four numbers, blank or unreadable ones as 0.
    virtual std::array<uint8_t, 4> ipv4_octets(int id) const = 0;

    // ---- the person ----
    // A message box with an OK button.
    virtual void show_message(const std::string& text) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool ask(const std::string& text) = 0;
    // The open-file dialog; `filter` is "description|pattern|...||". Empty when cancelled.
    virtual std::string choose_file(const std::string& filter) = 0;

    // ---- the desktop ----
    virtual void open_url(const std::string& url) = 0;
    virtual void start_ping(const std::string& ip) = 0;
    virtual void copy_to_clipboard(const std::string& text) = 0;

    // ---- time and threads ----
    // Runs fn on the window's thread after `delay`, unless the window has gone by then.
    virtual void run_later(std::chrono::milliseconds delay, std::function<void()> fn) = 0;
    // Any thread: queues fn for the window's thread and returns at once; dropped when the
    // window has gone.
    virtual void post(std::function<void()> fn) = 0;

    // ---- what the front end adds ----
    // A search window has run its course (window thread).
    virtual void search_window_ended() {}
    // EXIT has been accepted; the program is to end. `batch_running`: a batch was stopped.
    virtual void program_ending(bool /*batch_running*/) {}
};

}  // namespace quillon
