// SPDX-License-Identifier: Apache-2.0
#pragma once
// The main window's widgets as the window controller sees them: controls by number, the
// window's message boxes and file dialog, the desktop, the window thread's timer and queue.
#include <QWidget>

#include <unordered_map>

#include "window/window_view.h"

namespace quillon {

class CQuillonDlg;

class DlgView final : public WindowView {
public:
    explicit DlgView(CQuillonDlg& dlg) : dlg_(dlg) {}

    void set_enabled(int id, bool on) override;
    bool is_enabled(int id) const override;
    void set_checked(int id, bool on) override;
    bool is_checked(int id) const override;
    void set_text(int id, const std::string& text) override;
    std::string text(int id) const override;
    void clear_text(int id) override;
    void show_hint(int id, const std::string& text) override;
    void set_entries(int id, const std::vector<std::string>& entries, int current) override;
    void choose_quietly(int id, int index) override;
    int current_index(int id) const override;
    std::string current_text(int id) const override;
    void set_value(int id, int value) override;
    std::array<uint8_t, 4> ipv4_octets(int id) const override;

    void show_message(const std::string& text) override;
    bool ask(const std::string& text) override;
    std::string choose_file(const std::string& filter) override;

    void open_url(const std::string& url) override;
    void start_ping(const std::string& ip) override;
    void copy_to_clipboard(const std::string& text) override;

    void run_later(std::chrono::milliseconds delay, std::function<void()> fn) override;
    void post(std::function<void()> fn) override;

    void search_window_ended() override;
    void program_ending(bool batch_running) override;

private:
    // The widget of a control number (looked up once).
    QWidget* widget(int id) const;
    template <class W>
    W* as(int id) const {
        return qobject_cast<W*>(widget(id));
    }

    CQuillonDlg& dlg_;
    mutable std::unordered_map<int, QWidget*> widgets_;
};

}  // namespace quillon
