// SPDX-License-Identifier: Apache-2.0
#pragma once
// At start-up, after the start-up search: a batch that died leaves the devices it upgraded
// unticked, and the person is told how many.
#include <string>

namespace quillon {

class CQuillonDlg;

// Looks at the newest journal in `log_dir`; on the window thread.
void check_unfinished_batch(CQuillonDlg& dlg, const std::string& log_dir);

}  // namespace quillon
