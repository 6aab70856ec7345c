// SPDX-License-Identifier: Apache-2.0
// What the user does with the device list (sort, filter by type, open, ping, copy) and the
// hidden conflict test, handed to the window controller.
#include "window/qt/quillon_dlg.h"

namespace quillon {

void CQuillonDlg::on_column_click(int column) { ctl_->on_column_click(column); }
void CQuillonDlg::on_type_filter() { ctl_->on_type_filter(); }
void CQuillonDlg::on_row_double_click(int row) { ctl_->on_row_double_click(row); }
void CQuillonDlg::on_row_right_double_click(int row) { ctl_->on_row_right_double_click(row); }
void CQuillonDlg::on_row_right_click(int row) { ctl_->on_row_right_click(row); }
void CQuillonDlg::on_conflict_test() { ctl_->on_conflict_test(); }

}  // namespace quillon
