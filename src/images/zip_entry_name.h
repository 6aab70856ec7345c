#pragma once
// Screening of zip entry names: an entry may only be written below the extraction folder.
#include <string>
#include <vector>

namespace quillon {

struct EntryPath {
    std::vector<std::string> components;  // folder names, then the file name (for a file entry)
    bool is_folder = false;
};

// Splits an entry name ("/" and "\" both separate, as archives made on Windows use either) into
// its components, dropping empty and "." components. Refuses (returns false and says why) a name
// that is empty, absolute ("/x", "\x", "C:x"), contains a NUL byte or a ".." component, or has
// a component longer than a file name may be. `folder_attr` is true when the entry's external
// attributes mark a folder; a name ending in a separator is a folder too.
bool split_entry_name(const std::string& name, bool folder_attr, EntryPath& out, std::string& why);

}  // namespace quillon
