// SPDX-License-Identifier: Apache-2.0
#include "window/qt/dlg_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QTimer>

#include <utility>

#include "window/qt/ipv4_edit.h"
#include "window/qt/quillon_dlg.h"

namespace quillon {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

QWidget* DlgView::widget(int id) const {
    auto it = widgets_.find(id);
    if (it != widgets_.end()) return it->second;
    QWidget* w = dlg_.control(id);
    widgets_.emplace(id, w);
    return w;
}

void DlgView::set_enabled(int id, bool on) {
    if (QWidget* w = widget(id)) w->setEnabled(on);
}

bool DlgView::is_enabled(int id) const {
    const QWidget* w = widget(id);
    return w && w->isEnabled();
}

void DlgView::set_checked(int id, bool on) {
    if (auto* b = as<QAbstractButton>(id)) b->setChecked(on);
}

bool DlgView::is_checked(int id) const {
    const auto* b = as<QAbstractButton>(id);
    return b && b->isChecked();
}

void DlgView::set_text(int id, const std::string& text) {
    QWidget* w = widget(id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(q(text));
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(q(text));
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(q(text));
}

std::string DlgView::text(int id) const {
    QWidget* w = widget(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    return {};
}

void DlgView::clear_text(int id) {
    QWidget* w = widget(id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->clear();  // a change when it held any text
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->clear();
}

void DlgView::show_hint(int id, const std::string& text) {
    auto* e = as<QLineEdit>(id);
    if (!e) return;
    const QSignalBlocker block(e);
    e->setText(q(text));
    e->setCursorPosition(0);  // the hint reads from its start
}

void DlgView::set_entries(int id, const std::vector<std::string>& entries, int current) {
    auto* c = as<QComboBox>(id);
    if (!c) return;
    const QSignalBlocker block(c);
    c->clear();
    for (const std::string& e : entries) c->addItem(q(e));
    if (c->count() > 0) c->setCurrentIndex(current);
}

void DlgView::choose_quietly(int id, int index) {
    auto* c = as<QComboBox>(id);
    if (!c) return;
    const QSignalBlocker block(c);
    c->setCurrentIndex(index);
}

int DlgView::current_index(int id) const {
    const auto* c = as<QComboBox>(id);
    return c ? c->currentIndex() : -1;
}

std::string DlgView::current_text(int id) const {
    const auto* c = as<QComboBox>(id);
    return c ? c->currentText().toStdString() : std::string();
}

void DlgView::set_value(int id, int value) {
    if (auto* bar = as<QProgressBar>(id)) bar->setValue(value);
}

std::array<uint8_t, 4> DlgView::ipv4_octets(int id) const {
    const auto* e = as<Ipv4Edit>(id);
    return e ? e->octets() : std::array<uint8_t, 4>{};
}

void DlgView::show_message(const std::string& text) {
    dlg_.msg_box(text, CQuillonDlg::MsgKind::info);
}

bool DlgView::ask(const std::string& text) {
    return dlg_.msg_box(text, CQuillonDlg::MsgKind::question);
}

std::string DlgView::choose_file(const std::string& filter) {
    return dlg_.open_file_dialog(qt_file_filter(filter));
}

void DlgView::open_url(const std::string& url) { dlg_.open_url(url); }

void DlgView::start_ping(const std::string& ip) { dlg_.start_ping(ip); }

void DlgView::copy_to_clipboard(const std::string& text) {
    if (QClipboard* cb = QApplication::clipboard()) cb->setText(q(text));
}

void DlgView::run_later(std::chrono::milliseconds delay, std::function<void()> fn) {
    QTimer::singleShot(delay, &dlg_, std::move(fn));
}

void DlgView::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(&dlg_, std::move(fn), Qt::QueuedConnection);
}

void DlgView::search_window_ended() {
    if (dlg_.on_search_window_end) std::exchange(dlg_.on_search_window_end, nullptr)();
}

void DlgView::program_ending(bool batch_running) {
    if (dlg_.on_program_end) dlg_.on_program_end(batch_running);
}

}  // namespace quillon
