// SPDX-License-Identifier: Apache-2.0
#include "journal/journal_files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <chrono>
#include <ctime>
#include <mutex>
#include <random>
#include <set>

#include "journal/journal_doc.h"
#include "log/log_dir.h"
#include "platform/files.h"

namespace quillon {
namespace {

constexpr std::string_view kPrefix = "journal_";
constexpr std::string_view kSuffix = ".jsonl";

std::tm utc_now(int& millis) {
    static std::mutex gm_lock;  // std::gmtime's result is shared; a leaf lock
    const auto now = std::chrono::system_clock::now();
    millis = int(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::lock_guard l(gm_lock);
    const std::tm* tm = std::gmtime(&t);
    return tm ? *tm : std::tm{};
}

}  // namespace

bool is_journal_name(const std::string& n) {
    // journal_ 8 digits _ 6 digits _ 3 digits _ 4 hex .jsonl
    if (n.size() != kPrefix.size() + 8 + 1 + 6 + 1 + 3 + 1 + 4 + kSuffix.size()) return false;
    if (n.compare(0, kPrefix.size(), kPrefix) != 0) return false;
    if (n.compare(n.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) return false;
    const std::string_view body(n.data() + kPrefix.size(),
                                n.size() - kPrefix.size() - kSuffix.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (i == 8 || i == 15 || i == 19) {
            if (c != '_') return false;
        } else if (i > 19) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::string new_journal_name(const std::string& folder) {
    static std::mutex rng_lock;  // a leaf lock for the generator
    static std::mt19937 rng{std::random_device{}()};
    for (;;) {
        int millis = 0;
        const std::tm tm = utc_now(millis);
        unsigned tag;
        {
            std::lock_guard l(rng_lock);
            tag = unsigned(rng() & 0xFFFF);
        }
        char name[64];
        std::snprintf(name, sizeof name, "journal_%04d%02d%02d_%02d%02d%02d_%03d_%04x.jsonl",
                      tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                      tm.tm_sec, millis, tag);
        if (!path_exists(join_path(folder, name))) return name;
    }
}

std::vector<std::string> list_journals(const std::string& folder) {
    std::vector<std::string> names;
    std::vector<FolderEntry> entries;
    list_folder(folder, entries);  // a folder that cannot be listed has no journals
    for (const FolderEntry& en : entries)
        if (en.regular_file && is_journal_name(en.name)) names.push_back(en.name);
    // The names begin with their time; the tag after it only orders journals of one millisecond.
    std::sort(names.begin(), names.end(), std::greater<>());
    std::vector<std::string> paths;
    for (const auto& n : names) paths.push_back(join_path(folder, n));
    return paths;
}

void prune_journals(const std::string& folder, int keep) {
    const auto all = list_journals(folder);
    for (std::size_t i = std::size_t(std::max(keep, 0)); i < all.size(); ++i) {
        remove_file(all[i]);  // one that cannot be removed stays; the next batch tries again
    }
}

std::string journal_file_name(const std::string& path) { return file_name_of(path); }

std::string newest_unfinished_journal(const std::string& folder) {
    std::set<std::string> continued;  // journals that a later one resumed
    for (const auto& path : list_journals(folder)) {
        JournalDoc doc;
        if (!read_journal(path, doc) || !doc.valid) continue;
        if (!doc.continues.empty()) continued.insert(doc.continues);
        if (!doc.finished && !continued.count(journal_file_name(path))) return path;
    }
    return std::string();
}

}  // namespace quillon
