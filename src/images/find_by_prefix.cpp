// SPDX-License-Identifier: Apache-2.0
#include "images/find_by_prefix.h"

#include <vector>

#include "platform/files.h"

namespace quillon {

namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool name_has_prefix(const std::string& name, const std::string& keyword) {
    if (name.size() < keyword.size()) return false;
    for (std::size_t i = 0; i < keyword.size(); ++i)
        if (ascii_lower(name[i]) != ascii_lower(keyword[i])) return false;
    return true;
}

int find_by_prefix(const std::string& folder, const std::string& keyword, std::string& field) {
    std::vector<FolderEntry> entries;
    if (!list_folder(folder, entries)) return -1;
    std::vector<std::string> found;
    for (const FolderEntry& e : entries) {
        if (!name_has_prefix(e.name, keyword)) continue;
        if (!e.regular_file) continue;
        found.push_back(folder + path_separator() + e.name);
        if (found.size() > 1) return -1;  // several matches: the slot keeps what it has
    }
    if (found.size() != 1) return -1;
    field = found.front();
    return 0;
}

}  // namespace quillon
