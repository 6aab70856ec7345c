// SPDX-License-Identifier: Apache-2.0
#pragma once
// Matching log text that contains timestamps, without std::regex.
#include <string>
#include <string_view>
#include <vector>

namespace quillon::test {

// True when `s` has the shape "####-##-## ##:##:##".
inline bool is_timestamp(std::string_view s) {
    static const std::string_view shape = "####-##-## ##:##:##";
    if (s.size() != shape.size()) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        bool digit = s[i] >= '0' && s[i] <= '9';
        if (shape[i] == '#' ? !digit : s[i] != shape[i]) return false;
    }
    return true;
}

// True when `text` equals `pattern` in which every "{ts}" stands for one timestamp; the
// timestamps found are appended to `found`.
inline bool match_with_ts(std::string_view text, std::string_view pattern,
                          std::vector<std::string>* found = nullptr) {
    const std::string_view mark = "{ts}";
    for (;;) {
        size_t at = pattern.find(mark);
        if (at == std::string_view::npos) return text == pattern;
        if (text.substr(0, at) != pattern.substr(0, at)) return false;
        if (text.size() < at + 19 || !is_timestamp(text.substr(at, 19))) return false;
        if (found) found->emplace_back(text.substr(at, 19));
        text.remove_prefix(at + 19);
        pattern.remove_prefix(at + mark.size());
    }
}

// True for names of the form "log_YYYYMMDD_HHMMSS.txt".
inline bool is_debug_log_name(std::string_view name) {
    static const std::string_view shape = "log_########_######.txt";
    if (name.size() != shape.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        bool digit = name[i] >= '0' && name[i] <= '9';
        if (shape[i] == '#' ? !digit : name[i] != shape[i]) return false;
    }
    return true;
}

}  // namespace quillon::test
