// SPDX-License-Identifier: Apache-2.0
#include "app/qt/unfinished_batch_check.h"

#include "engine/text_format.h"
#include "journal/unfinished_batch.h"
#include "texts/ui_texts.h"
#include "window/qt/quillon_dlg.h"

namespace quillon {

void check_unfinished_batch(CQuillonDlg& dlg, const std::string& log_dir) {
    // A START made during the start-up search has decided already (and its own journal, not yet
    // ended, is the newest one now).
    if (dlg.batch_in_progress() || dlg.is_running_state()) return;
    JournalDoc doc;
    if (!newest_journal_unfinished(log_dir, doc)) return;
    const int unticked = untick_upgraded(dlg.port(), doc);
    dlg.show_message(format_text(T(TextId::msg_unfinished_batch).c_str(), unticked));
}

}  // namespace quillon
