// SPDX-License-Identifier: Apache-2.0
#pragma once
// The journals in a log folder: their names, the newest first, the last 20 kept.
#include <string>
#include <vector>

namespace quillon {

inline constexpr int kJournalsKept = 20;

// "journal_YYYYMMDD_hhmmss_mmm_XXXX.jsonl" (UTC, so that names sort by time whatever the zone;
// XXXX tells two programs apart that start a batch in the same millisecond).
bool is_journal_name(const std::string& file_name);
// A name for a journal begun now that no file in `folder` has yet.
std::string new_journal_name(const std::string& folder);
// Full paths of the journals in `folder`, the newest first.
std::vector<std::string> list_journals(const std::string& folder);
// Deletes all but the newest `keep` journals of `folder`.
void prune_journals(const std::string& folder, int keep = kJournalsKept);
// The newest journal of `folder` that has no end line and that no later journal continues;
// empty when there is none.
std::string newest_unfinished_journal(const std::string& folder);
// The file name part of a path.
std::string journal_file_name(const std::string& path);

}  // namespace quillon
