// SPDX-License-Identifier: Apache-2.0
#include "window/qt/gui_window_port.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "window/device_words.h"
#include "window/qt/quillon_dlg.h"

namespace quillon {

GuiWindowPort::GuiWindowPort(CQuillonDlg& dlg) : dlg_(dlg) {}

void GuiWindowPort::run_on_window_thread(const std::function<void()>& fn) {
    if (QThread::currentThread() == dlg_.thread()) {
        fn();
        return;
    }
    {
        std::lock_guard<std::mutex> g(lock_);
        if (closed_) return;
        ++in_flight_;
    }
    // The hand-over goes through Qt's event queue; the release/acquire pair on `stage` states
    // the ordering in our own code as well, so race detectors see it.
    std::atomic<int> stage{0};
    stage.store(1, std::memory_order_release);
    QMetaObject::invokeMethod(
        &dlg_,
        [this, &fn, &stage] {
            stage.load(std::memory_order_acquire);
            if (!closed()) fn();
            stage.store(2, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    stage.load(std::memory_order_acquire);
    {
        std::lock_guard<std::mutex> g(lock_);
        --in_flight_;
    }
    drained_.notify_all();
}

bool GuiWindowPort::closed() const {
    std::lock_guard<std::mutex> g(lock_);
    return closed_;
}

void GuiWindowPort::close() {
    {
        std::lock_guard<std::mutex> g(lock_);
        closed_ = true;
    }
    // Requests already posted (or about to be) are served, without running, until none is left.
    for (;;) {
        {
            std::unique_lock<std::mutex> g(lock_);
            if (in_flight_ == 0) return;
        }
        QCoreApplication::sendPostedEvents(&dlg_);
        std::unique_lock<std::mutex> g(lock_);
        drained_.wait_for(g, std::chrono::milliseconds(5), [this] { return in_flight_ == 0; });
    }
}

void GuiWindowPort::serve_posted() { QCoreApplication::sendPostedEvents(&dlg_); }

void GuiWindowPort::show_worker(int w, const WorkerView& view) {
    run_on_window_thread([&] {
        if (std::max(dlg_.worker_view_->currentIndex(), 0) != w) return;
        if (view.status)
            dlg_.status_line_->setText(QString::fromStdString(worker_status_text(*view.status)));
        if (view.image_bar >= 0) dlg_.img_bar_->setValue(view.image_bar);
        if (view.device_bar >= 0) dlg_.dev_bar_->setValue(view.device_bar);
    });
}

void GuiWindowPort::show_followed_status(const std::vector<WorkerStatus>& status_of_worker) {
    if (status_of_worker.empty()) return;
    run_on_window_thread([&] {
        const int last = int(status_of_worker.size()) - 1;
        const int w = std::clamp(dlg_.worker_view_->currentIndex(), 0, last);
        const std::string line = worker_status_text(status_of_worker[std::size_t(w)]);
        dlg_.status_line_->setText(QString::fromStdString(line));
    });
}

void GuiWindowPort::set_status_line(const std::string& text) {
    run_on_window_thread([&] { dlg_.status_line_->setText(QString::fromStdString(text)); });
}

void GuiWindowPort::set_batch_bar(int pos) {
    run_on_window_thread([&] { dlg_.all_bar_->setValue(pos); });
}

int GuiWindowPort::get_batch_bar() {
    int r = 0;
    run_on_window_thread([&] { r = dlg_.all_bar_->value(); });
    return r;
}

void GuiWindowPort::set_counter(const std::string& text) {
    run_on_window_thread([&] { dlg_.counter_->setText(QString::fromStdString(text)); });
}

std::string GuiWindowPort::type_filter_text() {
    std::string r;
    run_on_window_thread([&] { r = dlg_.type_filter_->currentText().toStdString(); });
    return r;
}

bool GuiWindowPort::range_box_checked() {
    // No request: the window keeps a copy of the box for this.
    return dlg_.range_box_ticked();
}

bool GuiWindowPort::is_stop_enabled() {
    bool r = false;
    run_on_window_thread([&] { r = dlg_.is_stop_enabled(); });
    return r;
}

void GuiWindowPort::message_box(const std::string& text) {
    run_on_window_thread([&] { dlg_.show_message(text); });
}

void GuiWindowPort::enter_idle() {
    run_on_window_thread([&] { dlg_.enter_idle(); });
}

WindowFlags& GuiWindowPort::flags() { return dlg_.flags(); }

LogFile& GuiWindowPort::user_report() { return dlg_.user_report(); }

void GuiWindowPort::show_user_report() {
    run_on_window_thread([&] { dlg_.show_user_report(); });
}

void GuiWindowPort::add_type_filter_entry_once(const std::string& name) {
    const QString text = QString::fromStdString(name);
    if (dlg_.type_filter_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        const QSignalBlocker block(dlg_.type_filter_);  // the choice stays; no filter runs
        dlg_.type_filter_->addItem(text);
    }
}

}  // namespace quillon
