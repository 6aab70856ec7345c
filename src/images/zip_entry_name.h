// SPDX-License-Identifier: Apache-2.0
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

// The entry name as UTF-8, the file names of this system. A name marked UTF-8 in the archive
// (`utf8_flag`, general purpose bit 11), or that already reads as UTF-8, is kept. Otherwise it is
// in the code page of the Windows tool that made the archive, GBK for the maker's packages, and
// is converted from it (before it is split: a GBK character may end in the byte of "\"). A
// name that is not GBK either is kept as it is.
std::string entry_name_utf8(const std::string& raw, bool utf8_flag);

}  // namespace quillon
