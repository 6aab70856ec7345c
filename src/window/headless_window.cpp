// SPDX-License-Identifier: Apache-2.0
#include "window/headless_window.h"

#include <algorithm>
#include <utility>

#include "window/device_words.h"

namespace quillon {

HeadlessWindow::HeadlessWindow(LogFile& user_report, std::vector<std::string> type_filter_entries)
    : user_report_(user_report) {
    w_.type_filter_entries = std::move(type_filter_entries);
    w_.type_filter_choice = w_.type_filter_entries.empty() ? -1 : 0;
}

HeadlessWindow::~HeadlessWindow() { executor_.shutdown(); }

void HeadlessWindow::run_on_window_thread(const std::function<void()>& fn) {
    executor_.run_sync(fn);
}

bool HeadlessWindow::run(const std::function<void()>& fn) { return executor_.run_sync(fn); }

bool HeadlessWindow::post(std::function<void()> fn) { return executor_.post(std::move(fn)); }

void HeadlessWindow::changed(WidgetChange what) {
    for (WidgetObserver* o : observers_) o->widget_changed(what, w_);
}

template <class T>
void HeadlessWindow::set_widget(T HeadlessWidgets::*member, T value, WidgetChange what) {
    run([&] {
        if (w_.*member == value) return;
        w_.*member = std::move(value);
        changed(what);
    });
}

void HeadlessWindow::show_worker(int w, const WorkerView& view) {
    run([&] {
        if (w_.selected_worker != w) return;
        if (view.status) {
            std::string line = worker_status_text(*view.status);
            if (w_.status_line != line) {
                w_.status_line = std::move(line);
                changed(WidgetChange::status_line);
            }
        }
        if (view.image_bar >= 0 && w_.image_bar != view.image_bar) {
            w_.image_bar = view.image_bar;
            changed(WidgetChange::image_bar);
        }
        if (view.device_bar >= 0 && w_.device_bar != view.device_bar) {
            w_.device_bar = view.device_bar;
            changed(WidgetChange::device_bar);
        }
    });
}

void HeadlessWindow::show_followed_status(const std::vector<WorkerStatus>& status_of_worker) {
    if (status_of_worker.empty()) return;
    run([&] {
        const int last = int(status_of_worker.size()) - 1;
        const int w = std::clamp(w_.selected_worker, 0, last);
        set_status_line(worker_status_text(status_of_worker[std::size_t(w)]));
    });
}

void HeadlessWindow::set_status_line(const std::string& text) {
    set_widget(&HeadlessWidgets::status_line, text, WidgetChange::status_line);
}

void HeadlessWindow::set_batch_bar(int pos) {
    set_widget(&HeadlessWidgets::batch_bar, pos, WidgetChange::batch_bar);
}

int HeadlessWindow::get_batch_bar() {
    int pos = 0;
    run([&] { pos = w_.batch_bar; });
    return pos;
}

void HeadlessWindow::set_counter(const std::string& text) {
    set_widget(&HeadlessWidgets::counter, text, WidgetChange::counter);
}

std::string HeadlessWindow::type_filter_text() {
    std::string text;
    run([&] {
        int c = w_.type_filter_choice;
        if (c >= 0 && c < static_cast<int>(w_.type_filter_entries.size()))
            text = w_.type_filter_entries[c];
    });
    return text;
}

bool HeadlessWindow::range_box_checked() {
    bool ticked = false;
    run([&] { ticked = w_.range_box; });
    return ticked;
}

bool HeadlessWindow::is_stop_enabled() {
    bool enabled = false;
    run([&] { enabled = w_.stop_enabled; });
    return enabled;
}

void HeadlessWindow::message_box(const std::string& text) {
    run([&] {
        w_.messages.push_back(text);
        changed(WidgetChange::message);
        if (message_handler_) message_handler_(text);
    });
}

void HeadlessWindow::enter_idle() {
    run([&] {
        w_.stop_enabled = true;
        w_.idle = true;
        changed(WidgetChange::stop_enabled);
        changed(WidgetChange::idle);
        {
            std::lock_guard<std::mutex> g(idle_lock_);
            idle_ = true;
        }
        idle_cv_.notify_all();
        if (idle_handler_) idle_handler_();
    });
}

void HeadlessWindow::leave_idle() {
    run([&] {
        {
            std::lock_guard<std::mutex> g(idle_lock_);
            idle_ = false;
        }
        if (!w_.idle) return;
        w_.idle = false;
        changed(WidgetChange::idle);
    });
}

bool HeadlessWindow::wait_idle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> g(idle_lock_);
    return idle_cv_.wait_for(g, timeout, [this] { return idle_; });
}

void HeadlessWindow::show_user_report() {
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> g(report_lock_);
        handler = report_handler_;
    }
    if (handler) handler();
}

void HeadlessWindow::set_range_box(bool ticked) {
    set_widget(&HeadlessWidgets::range_box, ticked, WidgetChange::range_box);
}

void HeadlessWindow::set_stop_enabled(bool enabled) {
    set_widget(&HeadlessWidgets::stop_enabled, enabled, WidgetChange::stop_enabled);
}

void HeadlessWindow::set_selected_worker(int worker) {
    set_widget(&HeadlessWidgets::selected_worker, worker, WidgetChange::selected_worker);
}

void HeadlessWindow::set_type_filter(std::vector<std::string> entries, int choice) {
    run([&] {
        w_.type_filter_entries = std::move(entries);
        const int n = static_cast<int>(w_.type_filter_entries.size());
        w_.type_filter_choice = (choice >= 0 && choice < n) ? choice : -1;
        changed(WidgetChange::type_filter);
    });
}

void HeadlessWindow::choose_type_filter(int choice) {
    run([&] {
        const int n = static_cast<int>(w_.type_filter_entries.size());
        w_.type_filter_choice = (choice >= 0 && choice < n) ? choice : -1;
        changed(WidgetChange::type_filter);
    });
}

void HeadlessWindow::add_type_filter_entry_once(const std::string& name) {
    run([&] {
        auto& e = w_.type_filter_entries;
        if (std::find(e.begin(), e.end(), name) != e.end()) return;
        e.push_back(name);  // the current choice stays as it is
        changed(WidgetChange::type_filter);
    });
}

HeadlessWidgets HeadlessWindow::widgets() {
    HeadlessWidgets copy;
    run([&] { copy = w_; });
    return copy;
}

std::vector<std::string> HeadlessWindow::messages() {
    std::vector<std::string> copy;
    run([&] { copy = w_.messages; });
    return copy;
}

void HeadlessWindow::set_message_handler(std::function<void(const std::string&)> handler) {
    run([&] { message_handler_ = std::move(handler); });
}

void HeadlessWindow::set_idle_handler(std::function<void()> handler) {
    run([&] { idle_handler_ = std::move(handler); });
}

void HeadlessWindow::set_report_handler(std::function<void()> handler) {
    std::lock_guard<std::mutex> g(report_lock_);
    report_handler_ = std::move(handler);
}

void HeadlessWindow::add_widget_observer(WidgetObserver* observer) {
    run([&] {
        if (observer &&
            std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
            observers_.push_back(observer);
    });
}

void HeadlessWindow::remove_widget_observer(WidgetObserver* observer) {
    run([&] {
        observers_.erase(std::remove(observers_.begin(), observers_.end(), observer),
                         observers_.end());
    });
}

void HeadlessWindow::add_table_observer(DeviceTableObserver* observer) {
    run([&] { device_table().add_observer(observer); });
}

void HeadlessWindow::remove_table_observer(DeviceTableObserver* observer) {
    run([&] { device_table().remove_observer(observer); });
}

}  // namespace quillon
