#include "images/zip_entry_name.h"

#include <climits>

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
        if (part.size() > NAME_MAX) {
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

}  // namespace quillon
