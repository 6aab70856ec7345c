#include "platform/ini_file.h"

#include <ini.h>
#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <memory>

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
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return ini;
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "re"));
    if (!f) return ini;
    // Lines the parser cannot read are skipped; everything else is still taken.
    ini_parse_file(f.get(), &IniFile::on_entry, &ini);
    return ini;
}

IniFile IniFile::parse(const std::string& text) {
    IniFile ini;
    ini_parse_string(text.c_str(), &IniFile::on_entry, &ini);
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
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-value < INT_MIN ? INT_MIN : -value);
    return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

}  // namespace quillon
