// SPDX-License-Identifier: Apache-2.0
#pragma once
// The real main window with its outside world replaced: message boxes and file dialogs answer
// from a script, URLs and pings are recorded, the engine is a recorder, and discovery is a
// recorder, so that no window test ever sends a search from this machine (support/window_fakes.h,
// shared with the window controller's tests).
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "contract/window_port.h"
#include "platform/timing.h"
#include "texts/ui_texts.h"
#include "window/control_ids.h"
#include "window/discovery_link.h"
#include "window/engine_link.h"
#include "window/qt/gui_window_port.h"
#include "window/qt/quillon_dlg.h"

#include "support/wait_until.h"
#include "support/window_fakes.h"

namespace quillon::test {

// The window's device table, for tests on the window's thread.
inline DeviceTable& table_of(CQuillonDlg& dlg) {
    return static_cast<GuiWindowPort&>(dlg.port()).device_table();
}

class TestDlg : public CQuillonDlg, public ScriptedPerson {
public:
    struct Shown {
        std::string text;
        MsgKind kind;
    };
    std::vector<Shown> shown;
    bool real_ping = false;

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& s : shown) out.push_back(s.text);
        return out;
    }

protected:
    bool msg_box(const std::string& text, MsgKind kind) override {
        shown.push_back({text, kind});
        return kind != MsgKind::question || answer();
    }
    std::string open_file_dialog(const std::string& filter) override {
        return choose_file_for(filter);
    }
    void open_url(const std::string& url) override { urls.push_back(url); }
    void start_ping(const std::string& ip) override {
        pings.push_back(ip);
        if (real_ping) CQuillonDlg::start_ping(ip);
    }
};

class WindowTest : public ::testing::Test {
protected:
    RecordingEngine engine;
    RecordingDiscovery discovery;
    std::unique_ptr<TestDlg> dlg;

    void SetUp() override {
        timing() = Timing{};
        timing().search_window = std::chrono::milliseconds(300);
        timing().conflict_wait_step = std::chrono::milliseconds(50);
        ui_texts().fill(true);
        make_window();
    }
    void TearDown() override {
        dlg.reset();
        timing() = Timing{};
    }

    void make_window() {
        dlg = std::make_unique<TestDlg>();
        dlg->set_engine(&engine);
        dlg->set_discovery(&discovery);
        dlg->apply_texts();
        dlg->init_controls();
    }

    template <class W = QWidget>
    W* ctl(int id) {
        W* w = dlg->findChild<W*>(QString::number(id));
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }
    QPushButton* button(int id) { return ctl<QPushButton>(id); }
    QCheckBox* box(int id) { return ctl<QCheckBox>(id); }
    QComboBox* combo(int id) { return ctl<QComboBox>(id); }
    QLineEdit* edit(int id) { return ctl<QLineEdit>(id); }
    bool enabled(int id) { return ctl(id)->isEnabled(); }
    std::string text_of(int id) {
        QWidget* w = ctl(id);
        if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
        if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
        if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
        if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
        return {};
    }
    std::vector<std::string> entries(int id) {
        std::vector<std::string> out;
        QComboBox* c = combo(id);
        for (int i = 0; i < c->count(); ++i) out.push_back(c->itemText(i).toStdString());
        return out;
    }

    // A device as discovery intake lists it (ticked, tag -1, record saved).
    int add_device(const std::string& ip, const std::string& mac, const std::string& type,
                   const std::string& version = "V1.0", const std::string& devid = "") {
        dlg->flags().intake_closed = 0;
        FoundDevice d;
        d.ip = ip;
        d.mac = mac;
        d.type_name = type;
        d.version = version;
        d.devid = devid;
        d.status = "Ready";
        d.begin_time = "2024-01-01 00:00:00";
        return dlg->port().insert_found_device(d);
    }
    std::string cell(int row, int col) { return table_of(*dlg).get_cell(row, col); }
    std::vector<std::string> column(int col) {
        std::vector<std::string> out;
        for (int r = 0; r < dlg->port().row_count(); ++r) out.push_back(cell(r, col));
        return out;
    }
};

// What a wait does between two looks in a window test (each program's main() sets it): serves
// the window's events, or nothing the test waits for would happen.
inline void serve_window_events() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(5);
}

}  // namespace quillon::test
