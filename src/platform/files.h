// SPDX-License-Identifier: Apache-2.0
#pragma once
// Files and folders by path. Paths are UTF-8 inside the program. Linux takes them as they are;
// Windows takes them as UTF-16 at its file API (_wfopen, CreateFileW, ...), so that a folder such
// as C:\Users\张伟\Desktop\固件 v2\ works. Files are written in binary mode on both systems, so
// that both write the same bytes.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

// The working directory, or empty when it cannot be read.
std::string current_directory();
// Creates one folder; false when it could not (also when it exists already). `posix_mode` is
// its permission bits on Linux (less the umask); Windows has none.
bool make_directory(const std::string& path, unsigned posix_mode = 0777);
// A file or a folder under `path` (a link counts when its target exists). `why` (optional)
// gets the system's reason when there is none.
bool path_exists(const std::string& path, std::string* why = nullptr);
// A regular file under `path` (links followed).
bool is_regular_file(const std::string& path);
// `path` made absolute against the working directory and tidied ("a/./b/../c" -> "a/c"), not
// resolved through links; `path` itself when that cannot be done.
std::string absolute_path(const std::string& path);
// The separator the system writes between folders: '/' (Linux), '\\' (Windows).
char path_separator();
// Whether `c` separates folders in a path: '/' (and '\\' on Windows).
bool is_path_separator(char c);

// One entry of a folder: its name, and whether it is a regular file itself (a link to one is not).
struct FolderEntry {
    std::string name;
    bool regular_file = false;
};
// The entries of `folder`, without "." and "..", in the system's order; false when the folder
// cannot be listed.
bool list_folder(const std::string& folder, std::vector<FolderEntry>& out);

// Removes `folder` and everything in it. Stops at the first entry that cannot be removed and
// returns false; the rest of the tree stays. An empty path removes nothing and gives false.
// Links are removed, never followed, so nothing outside the folder is touched; a `folder` that
// is itself a link is left alone (false). (Linux: symbolic links; Windows: symbolic links and
// junctions, that is every reparse point.)
bool delete_tree(const std::string& folder);

// Removes the one file `path` (never a folder); false when it could not.
bool remove_file(const std::string& path);
// The last part of `path`, after its last folder separator; `path` itself when it has none.
std::string file_name_of(const std::string& path);
// The whole content of the regular file `path`, when it is at most `max_bytes` long; false when
// it cannot be read, is no regular file or is longer.
bool read_whole_file(const std::string& path, std::string& out, uint64_t max_bytes);

// Whether the file system takes `name` (UTF-8) as the name of one file or folder for its length:
// at most 255 bytes on Linux, 255 UTF-16 units on Windows.
bool name_length_fits(const std::string& name);

// The system's text for the last failed file call of this thread (errno, GetLastError).
std::string last_file_error_text();

// Opens a file for writing from its start (created or emptied), binary, not inherited by
// programs started later: a FILE* as fopen(path, "wb") gives; null when it cannot be opened.
// The open itself never blocks: a pipe under the name with nobody reading it fails the open
// (Linux) instead of holding the caller for ever.
std::FILE* open_for_writing(const std::string& path);

// A file opened for reading, for reads at any offset from several threads at once.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    explicit ReadOnlyFile(const std::string& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool valid() const { return handle_ != -1; }
    // The size of the opened file when it is a regular file; false otherwise.
    bool regular_size(uint64_t& size) const;
    // Exactly `len` bytes at `offset`; false on an error or a file that turned out shorter.
    bool read_at(void* out, std::size_t len, uint64_t offset) const;
    void close();

private:
    std::intptr_t handle_ = -1;  // the descriptor (Linux) or the HANDLE (Windows)
};

}  // namespace quillon
