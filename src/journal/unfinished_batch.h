// SPDX-License-Identifier: Apache-2.0
#pragma once
// The desktop program's look at the last batch when it starts: a batch that died leaves its
// journal without an end, and the devices it had upgraded must not be upgraded again by a START
// that ticks everything the start-up search found.
#include <string>

#include "journal/journal_doc.h"

namespace quillon {

class WindowPort;

// True when the newest journal in `folder` is a batch without its end line; `doc` is then that
// journal.
bool newest_journal_unfinished(const std::string& folder, JournalDoc& doc);

// Unticks every listed row that is a device the journal shows upgraded: the same MAC, or the same
// address when one of the two MACs is not known. Returns the number of rows unticked. On the
// window's thread, or through the port's synchronous requests.
int untick_upgraded(WindowPort& list, const JournalDoc& doc);

}  // namespace quillon
