// SPDX-License-Identifier: Apache-2.0
#include "images/zip_entry_name.h"

#include "platform/code_page.h"
#include "platform/files.h"

namespace quillon {

namespace {
bool is_sep(char c) { return c == '/' || c == '\\'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
}  // namespace

bool split_entry_name(const std::string& name, bool folder_attr, EntryPath& out, std::string& why) {
    out = EntryPath{};
    if (name.empty()) {
        why = "empty entry name";
        return false;
    }
    if (name.find('\0') != std::string::npos) {
        why = "entry name contains a NUL byte";
        return false;
    }
    if (is_sep(name[0]) || (name.size() >= 2 && is_letter(name[0]) && name[1] == ':')) {
        why = "absolute entry name: " + name;
        return false;
    }
    out.is_folder = folder_attr || is_sep(name.back());
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !is_sep(name[end])) ++end;
        std::string part = name.substr(start, end - start);
        if (part == "..") {
            why = "entry name leads outside the folder: " + name;
            return false;
        }
        if (!name_length_fits(part)) {
            why = "entry name has a component that is too long";
            return false;
        }
        if (!part.empty() && part != ".") out.components.push_back(std::move(part));
        start = end + 1;
    }
    if (!out.is_folder && out.components.empty()) {
        why = "entry name names no file: " + name;
        return false;
    }
    return true;
}

namespace {

bool is_utf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t more = 0;
        // The range of the byte after the lead: no overlong forms, no surrogates, nothing
        // above U+10FFFF.
        unsigned char lo = 0x80, hi = 0xbf;
        if (c < 0x80)
            more = 0;
        else if (c >= 0xc2 && c <= 0xdf)
            more = 1;
        else if (c >= 0xe0 && c <= 0xef) {
            more = 2;
            if (c == 0xe0) lo = 0xa0;
            if (c == 0xed) hi = 0x9f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            more = 3;
            if (c == 0xf0) lo = 0x90;
            if (c == 0xf4) hi = 0x8f;
        } else {
            return false;
        }
        if (more > 0 && i + more >= s.size()) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if (k == 1 ? (b < lo || b > hi) : (b & 0xc0) != 0x80) return false;
        }
        i += more + 1;
    }
    return true;
}

}  // namespace

std::string entry_name_utf8(const std::string& raw, bool utf8_flag) {
    if (utf8_flag || is_utf8(raw)) return raw;
    std::string out;
    return gbk_to_utf8(raw, out) ? out : raw;
}

}  // namespace quillon
