// The main window's commands and its states: Idle, search window, Running, Stopping.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <cstdio>

#include "texts/ui_texts.h"
#include "window/qt/discovery_link.h"
#include "window/qt/engine_link.h"
#include "window/qt/gui_window_port.h"
#include "window/qt/ipv4_edit.h"
#include "window/qt/quillon_dlg.h"
#include "window/qt/row_compare.h"

#include "images/folder_ops.h"
#include "platform/timing.h"

namespace quillon {

namespace {
QString q(TextId id) { return QString::fromStdString(T(id)); }
}  // namespace

void CQuillonDlg::connect_commands() {
    connect(start_, &QPushButton::clicked, this, &CQuillonDlg::on_start);
    connect(clean_, &QPushButton::clicked, this, &CQuillonDlg::on_clean);
    connect(exit_, &QPushButton::clicked, this, &CQuillonDlg::on_exit);
    connect(search_, &QPushButton::clicked, this, &CQuillonDlg::on_search);
    connect(range_box_, &QCheckBox::clicked, this, &CQuillonDlg::on_range_box);
    // The copy that other threads read; toggled also follows setChecked.
    connect(range_box_, &QCheckBox::toggled, this,
            [this](bool ticked) { range_box_ticked_.store(ticked); });
    range_box_ticked_.store(range_box_->isChecked());
    connect(auto_retry_, &QCheckBox::clicked, this, &CQuillonDlg::on_auto_retry);
    connect(select_all_, &QCheckBox::clicked, this, &CQuillonDlg::on_select_all);
    connect(threads_, &QComboBox::currentIndexChanged, this, &CQuillonDlg::on_threads);
    connect(worker_view_, &QComboBox::currentIndexChanged, this, &CQuillonDlg::on_worker_view);
    connect(adapter_, &QComboBox::currentIndexChanged, this, &CQuillonDlg::on_adapter);
    connect(type_filter_, &QComboBox::currentIndexChanged, this, &CQuillonDlg::on_type_filter);
    connect(conflict_test_, &QPushButton::clicked, this, &CQuillonDlg::on_conflict_test);

    connect(zip_check_, &QCheckBox::clicked, this, &CQuillonDlg::on_zip_check);
    connect(zip_path_, &QLineEdit::textChanged, this, &CQuillonDlg::on_zip_path_changed);
    connect(zip_browse_, &QPushButton::clicked, this, &CQuillonDlg::import_package);
    for (int i = 0; i < 4; ++i) {
        connect(slot_check_[i], &QCheckBox::clicked, this, [this, i] { on_slot_check(i); });
        connect(slot_browse_[i], &QPushButton::clicked, this, [this, i] { on_slot_browse(i); });
    }

    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &CQuillonDlg::on_column_click);
}

bool CQuillonDlg::is_running_state() const { return engine_ && engine_->running(); }

bool CQuillonDlg::is_stop_enabled() const { return clean_->isEnabled(); }

bool CQuillonDlg::batch_in_progress() const { return is_running_state() || !clean_->isEnabled(); }

std::string CQuillonDlg::read_path(QLineEdit* edit) const { return edit->text().toStdString(); }

// ---------------- START ----------------

void CQuillonDlg::on_start() {
    WindowPort& p = port();
    BatchSettings batch;
    std::array<uint8_t, 4> start{};
    int end = 0;
    for (;;) {
        for (int i = 0; i < 4; ++i) batch.url[i] = read_path(slot_path_[i]);
        start = range_start_->octets();
        end = static_cast<int>(id_key(range_end_->text().toStdString()));
        if (!batch.url[0].empty() || !batch.url[1].empty() || !batch.url[2].empty() ||
            !batch.url[3].empty()) {
            break;
        }
        // No image chosen: ask for a package first, as its browse button does.
        import_package();
        if (zip_path_->text().isEmpty()) return;
    }

    const int ticked = p.count_checked();
    const bool range_mode = range_box_->isChecked();
    if (range_mode) {
        if (ticked == 0) {
            p.clear_rows();
            p.clear_records(RecordTable::range);
        }
        const int s = start[3];
        if (s == 0 || s > end || end > 254) {
            msg_box(T(TextId::msg_bad_range), MsgKind::info);
            deviceLog.WriteInfo("ip is err !\n");
            return;
        }
    } else {
        if (p.row_count() == 0) {
            msg_box(T(TextId::msg_list_empty), MsgKind::info);
            return;
        }
        if (ticked == 0) {
            msg_box(T(TextId::msg_none_ticked), MsgKind::info);
            return;
        }
    }

    flags_.close_intake();
    flags_.conflict_watch = 1;
    const int n = threads_->currentIndex() + 1;

    if (is_running_state()) {
        msg_box(T(TextId::msg_busy), MsgKind::info);
        deviceLog.WriteInfo("app_upgrade is running !\n");
        return;
    }

    batch.ip_begin = range_start_->address();
    batch.ip_end = end;
    batch.ip_scan = range_mode ? 1 : 0;
    batch.thread_num = n;
    for (int i = 0; i < 4; ++i) batch.reboot_after[i] = m_reboot_after[i];
    if (engine_) {
        engine_->set_batch(batch);
        engine_->start_running();
    }
    std::printf("upgrade thread %d\n", n);
    std::fflush(stdout);

    set_running_controls();
    deviceLog.WriteInfo("app_upgrade is ok !\n");
}

void CQuillonDlg::set_running_controls() {
    start_->setEnabled(false);
    search_->setEnabled(false);
    type_filter_->setEnabled(false);
    range_box_->setEnabled(false);
    clean_->setText(q(TextId::stop_button));
    select_all_->setEnabled(false);
    threads_->setEnabled(false);
    auto_retry_->setEnabled(false);
    adapter_->setEnabled(false);
}

void CQuillonDlg::enter_idle() {
    start_->setEnabled(true);
    search_->setEnabled(true);
    type_filter_->setEnabled(true);
    range_box_->setEnabled(true);
    clean_->setText(q(TextId::clean_button));
    clean_->setEnabled(true);
    select_all_->setEnabled(true);
    threads_->setEnabled(true);
    auto_retry_->setEnabled(true);
    adapter_->setEnabled(true);
}

// ---------------- CLEAN / STOP ----------------

void CQuillonDlg::on_clean() {
    if (is_running_state()) {
        // The batch may end while the question is open (the workers' requests are served
        // meanwhile): a late Yes then finds an idle window and must leave it idle.
        if (msg_box(T(TextId::ask_stop_after), MsgKind::question) && is_running_state()) {
            engine_->request_stop();
            clean_->setEnabled(false);  // Stopping
        }
        return;
    }
    flags_.close_intake();
    port().clear_rows();
    port().clear_records(RecordTable::range);
    port().clear_records(RecordTable::found);
}

// ---------------- EXIT ----------------

void CQuillonDlg::on_exit() {
    if (confirm_exit()) close();
}

bool CQuillonDlg::confirm_exit() {
    if (exiting_) return true;
    const bool batch = batch_in_progress();
    if (batch) {
        if (!msg_box(T(TextId::ask_force_stop), MsgKind::question)) return false;
        if (engine_) engine_->request_stop();
    }
    if (!m_unzip_dir.empty()) delete_tree(m_unzip_dir);
    exiting_ = true;
    stop_search_windows();
    if (on_program_end) on_program_end(batch);  // may end the process here
    return true;
}

// ---------------- SEARCH and the search window ----------------

void CQuillonDlg::reset_type_filter() {
    const QSignalBlocker block(type_filter_);
    type_filter_->clear();
    type_filter_->addItem(q(TextId::type_all));
    type_filter_->setCurrentIndex(0);
}

void CQuillonDlg::on_search() {
    flags_.close_intake();
    port().clear_rows();
    port().clear_records(RecordTable::found);
    reset_type_filter();
    flags_.intake_closed = 0;
    if (discovery_) discovery_->search(1);
    select_all_->setChecked(true);
    range_box_->setChecked(false);
    range_start_->setEnabled(false);
    range_end_->setEnabled(false);
    start_search_window();
}

void CQuillonDlg::start_search_window() {
    // Join the windows that have ended, so that finished threads do not pile up.
    for (auto it = search_windows_.begin(); it != search_windows_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = search_windows_.erase(it);
        } else {
            ++it;
        }
    }
    {
        std::lock_guard<std::mutex> g(search_stop_lock_);
        if (search_stop_) return;
    }
    // Opened here, on the window thread, and not by the window's own thread when it gets to
    // run: a command that closes the intake in between (START, say) would otherwise find it
    // reopened behind it for three seconds.
    flags_.open_search_window();
    search_->setEnabled(false);
    auto done = std::make_shared<std::atomic<bool>>(false);
    const auto length = timing().search_window;
    search_windows_.push_back(
        {std::thread(&CQuillonDlg::search_window_body, this, length, done), done});
}

void CQuillonDlg::search_window_body(std::chrono::milliseconds length,
                                     std::shared_ptr<std::atomic<bool>> done) {
    bool stopped;
    {
        std::unique_lock<std::mutex> g(search_stop_lock_);
        stopped = search_stop_cv_.wait_for(g, length, [this] { return search_stop_; });
    }
    // The answers that reached the sockets until now are still listed when they are read.
    flags_.end_search_window(std::chrono::steady_clock::now());
    if (!stopped) {
        // Queued, not blocking: the window thread may be joining this thread.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!batch_in_progress()) search_->setEnabled(true);
                if (on_search_window_end) std::exchange(on_search_window_end, nullptr)();
            },
            Qt::QueuedConnection);
    }
    done->store(true);
}

void CQuillonDlg::stop_search_windows() {
    {
        std::lock_guard<std::mutex> g(search_stop_lock_);
        search_stop_ = true;
    }
    search_stop_cv_.notify_all();
    for (auto& w : search_windows_) {
        if (w.thread.joinable()) w.thread.join();
    }
    search_windows_.clear();
}

// ---------------- range box, retry, threads, worker view, select-all, adapter ----------------

void CQuillonDlg::on_range_box() {
    if (is_running_state()) return;
    if (range_box_->isChecked()) {
        flags_.close_intake();
        range_start_->setEnabled(true);
        range_end_->setEnabled(true);
        port().clear_rows();
    } else {
        flags_.intake_closed = 0;
        range_start_->setEnabled(false);
        range_end_->setEnabled(false);
        port().clear_rows();
        if (discovery_) discovery_->search(1);
        start_search_window();
    }
    {
        const QSignalBlocker block(type_filter_);
        type_filter_->setCurrentIndex(0);
    }
    status_line_->clear();
    counter_->clear();
}

void CQuillonDlg::on_auto_retry() {
    if (engine_) engine_->set_auto_retry(auto_retry_->isChecked() ? 1 : 0);
}

void CQuillonDlg::on_threads() {
    refill_worker_view("[%1]:", threads_->currentIndex() + 1);
}

void CQuillonDlg::on_worker_view() {
    if (!engine_) return;
    const int w = worker_view_->currentIndex();
    if (w < 0) return;
    status_line_->setText(QString::fromStdString(engine_->worker_status(w)));
    img_bar_->setValue(engine_->img_percent(w));
    dev_bar_->setValue(engine_->dev_percent(w));
}

void CQuillonDlg::on_select_all() {
    flags_.close_intake();
    if (is_running_state()) return;
    DeviceTable& t = port_->device_table();
    const bool tick = select_all_->isChecked();
    for (int r = 0; r < t.row_count(); ++r) t.set_check(r, tick);
}

void CQuillonDlg::on_adapter() {
    const int i = adapter_->currentIndex();
    if (i < 0 || i >= static_cast<int>(adapter_ips_.size())) return;
    const std::string a = adapter_ips_[i];
    set_bind_addr(a);
    const auto dot = a.rfind('.');
    range_start_->set_address_text(dot == std::string::npos ? a : a.substr(0, dot + 1) + "250");
    if (discovery_) discovery_->restart(bind_addr_);
    port().clear_rows();
    port().clear_records(RecordTable::found);
    reset_type_filter();
    flags_.intake_closed = 0;
    if (discovery_) discovery_->search(0);
    start_search_window();
}

}  // namespace quillon
