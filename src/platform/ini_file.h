// SPDX-License-Identifier: Apache-2.0
#pragma once
// Read-only view of an INI file, read the way the Windows profile reader reads it: section and
// key names are case-insensitive, the first occurrence of a key wins, and a file that is
// missing, unreadable or a folder simply yields the defaults. A line longer than the reader's
// line buffer (about 200 bytes) is cut there; the rest of that line is ignored.
#include <map>
#include <string>

namespace quillon {

class IniFile {
public:
    IniFile() = default;

    // Reads the whole file once. Never fails: whatever could not be read is just absent.
    static IniFile load(const std::string& path);
    // Same rules over text already in memory.
    static IniFile parse(const std::string& text);

    bool has(const std::string& section, const std::string& key) const;
    // The value as written (surrounding blanks removed), or `def` when the key is absent.
    std::string get_string(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // The value of the leading decimal digits (an optional '-' first); a value without leading
    // digits reads as 0; `def` only when the key is absent. Values beyond int saturate.
    int get_int(const std::string& section, const std::string& key, int def) const;

private:
    static int on_entry(void* user, const char* section, const char* key, const char* value);
    std::map<std::string, std::string> values_;  // "section\nkey" in lower case -> value
};

// The integer rule of get_int applied to one text.
int profile_int(const std::string& text);

}  // namespace quillon
