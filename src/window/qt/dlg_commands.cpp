// SPDX-License-Identifier: Apache-2.0
// The main window's commands: each control bound to its handler, each handler handed to the
// window controller, which holds the states (Idle, search window, Running, Stopping).
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "window/qt/quillon_dlg.h"

namespace quillon {

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

bool CQuillonDlg::is_running_state() const { return ctl_->is_running_state(); }
bool CQuillonDlg::is_stop_enabled() const { return ctl_->is_stop_enabled(); }
bool CQuillonDlg::batch_in_progress() const { return ctl_->batch_in_progress(); }

void CQuillonDlg::on_start() { ctl_->on_start(); }
void CQuillonDlg::set_running_controls() { ctl_->set_running_controls(); }
void CQuillonDlg::enter_idle() { ctl_->enter_idle(); }
void CQuillonDlg::on_clean() { ctl_->on_clean(); }

void CQuillonDlg::on_exit() {
    if (ctl_->confirm_exit()) close();
}

void CQuillonDlg::on_search() { ctl_->on_search(); }
void CQuillonDlg::start_search_window() { ctl_->start_search_window(); }
void CQuillonDlg::on_range_box() { ctl_->on_range_box(); }
void CQuillonDlg::on_auto_retry() { ctl_->on_auto_retry(); }
void CQuillonDlg::on_threads() { ctl_->on_threads(); }
void CQuillonDlg::on_worker_view() { ctl_->on_worker_view(); }
void CQuillonDlg::on_select_all() { ctl_->on_select_all(); }
void CQuillonDlg::on_adapter() { ctl_->on_adapter(); }

}  // namespace quillon
