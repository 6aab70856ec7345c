// SPDX-License-Identifier: Apache-2.0
#include "platform/ini_file.h"

#include <ini.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/ini_file_open.h"

namespace quillon {

namespace {

std::string lower(const char* s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string make_key(const std::string& section, const std::string& key) {
    return lower(section.c_str()) + '\n' + lower(key.c_str());
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// inih reads each line into a buffer of fixed size (200 bytes in Debian's build) and reads what
// did not fit as the next line: the tail of a long comment or value would become a setting of
// its own (";<190 bytes>debug=1" would turn debug mode on). So inih gets every line cut to its
// buffer, and the rest of the line is skipped, as the Windows profile reader cuts a long value.
//
// Leading blanks are dropped as well: the Windows reader ignores them, while inih would take an
// indented line for the continuation of the key before it ("  debug=1" would be lost).
bool is_blank(int ch) { return ch == ' ' || ch == '\t'; }

char* read_file_line(char* str, int num, void* stream) {
    auto* f = static_cast<std::FILE*>(stream);
    std::size_t n = 0;
    int ch = EOF;
    bool line_start = true;
    while ((ch = std::getc(f)) != EOF) {
        if (line_start && is_blank(ch)) continue;
        line_start = false;
        if (n + 1 < static_cast<std::size_t>(num)) str[n++] = static_cast<char>(ch);
        if (ch == '\n') break;
    }
    if (n == 0 && ch == EOF) return nullptr;
    str[n] = '\0';
    return str;
}

// The same over a zero-terminated text.
char* read_text_line(char* str, int num, void* stream) {
    auto* at = static_cast<const char**>(stream);
    if (**at == '\0') return nullptr;
    while (is_blank(**at)) ++*at;
    const char* end = std::strchr(*at, '\n');
    end = end ? end + 1 : *at + std::strlen(*at);
    const std::size_t keep = std::min(static_cast<std::size_t>(end - *at),
                                      static_cast<std::size_t>(num) - 1);
    std::memcpy(str, *at, keep);
    str[keep] = '\0';
    *at = end;
    return str;
}

}  // namespace

int IniFile::on_entry(void* user, const char* section, const char* key, const char* value) {
    auto* self = static_cast<IniFile*>(user);
    // emplace keeps the first occurrence; inih's continuation lines repeat the key and are
    // ignored that way too.
    self->values_.emplace(lower(section) + '\n' + lower(key), value);
    return 1;
}

IniFile IniFile::load(const std::string& path) {
    IniFile ini;
    std::unique_ptr<std::FILE, FileCloser> f(detail::open_ini_file(path));
    if (!f) return ini;
    // Lines the parser cannot read are skipped; everything else is still taken.
    ini_parse_stream(&read_file_line, f.get(), &IniFile::on_entry, &ini);
    return ini;
}

IniFile IniFile::parse(const std::string& text) {
    IniFile ini;
    const char* at = text.c_str();
    ini_parse_stream(&read_text_line, &at, &IniFile::on_entry, &ini);
    return ini;
}

bool IniFile::has(const std::string& section, const std::string& key) const {
    return values_.count(make_key(section, key)) != 0;
}

std::string IniFile::get_string(const std::string& section, const std::string& key,
                                const std::string& def) const {
    auto it = values_.find(make_key(section, key));
    return it == values_.end() ? def : it->second;
}

int IniFile::get_int(const std::string& section, const std::string& key, int def) const {
    auto it = values_.find(make_key(section, key));
    return it == values_.end() ? def : profile_int(it->second);
}

int profile_int(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-value < INT_MIN ? INT_MIN : -value);
    return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

}  // namespace quillon
