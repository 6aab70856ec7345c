// SPDX-License-Identifier: Apache-2.0
#pragma once
// Writing files below one folder without ever following a link below it: the entries of a
// package, whose names come from the archive. Linux: descriptors of the folders (openat with
// O_NOFOLLOW, renameat). Windows: the folders' UTF-16 paths, each folder held open while it is
// used so that it cannot be swapped for a link, and every component checked not to be a reparse
// point (symbolic link or junction).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

class FolderHandle {
public:
    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(FolderHandle&& o) noexcept
        : handle_(std::exchange(o.handle_, -1)), path_(std::move(o.path_)) {}
    FolderHandle& operator=(FolderHandle&& o) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    bool valid() const { return handle_ != -1; }
    std::intptr_t handle() const { return handle_; }
    const std::string& path() const { return path_; }
    // For the implementations.
    FolderHandle(std::intptr_t handle, std::string path)
        : handle_(handle), path_(std::move(path)) {}

private:
    std::intptr_t handle_ = -1;  // a descriptor (Linux) or a HANDLE (Windows)
    std::string path_;           // Windows: the folder's path (its calls take paths)
};

// Opens the existing folder `path` (links followed: it is the user's choice). Invalid with
// `err` ("cannot open folder X: reason") when it cannot.
FolderHandle open_folder(const std::string& path, std::string& err);

// Opens the folder components[0..count) below `base`, creating what is missing. No component
// may be a link: a link in the way is an error ("folder X is a link or a file"), never a way out.
FolderHandle open_folder_chain(const FolderHandle& base, const std::vector<std::string>& components,
                               std::size_t count, std::string& err);

// A file being written.
class NewFile {
public:
    NewFile() = default;
    explicit NewFile(std::intptr_t handle) : handle_(handle) {}
    ~NewFile();
    NewFile(NewFile&& o) noexcept : handle_(std::exchange(o.handle_, -1)) {}
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    NewFile& operator=(NewFile&&) = delete;

    bool valid() const { return handle_ != -1; }
    bool write_all(const unsigned char* p, std::size_t n);
    // Closes it: false when the system reports that what was written did not all reach the file.
    bool close();

private:
    std::intptr_t handle_ = -1;
};

// A fresh file in `dir` under a name of our own (".quillon-part-<process>-<n>"), set in `name`;
// invalid when none can be made.
NewFile create_part_file(const FolderHandle& dir, std::string& name);
// Removes the file `name` of `dir` (not a folder); failures are ignored.
void remove_file_in(const FolderHandle& dir, const std::string& name);
// Renames `from` to `to` in `dir`, replacing a file or a link of that name (never what a link
// points to); a folder of that name stays and the call fails.
bool replace_file_in(const FolderHandle& dir, const std::string& from, const std::string& to);
// The bytes this process may still write on the folder's file system; nothing when the file
// system tells no sizes (some FUSE mounts) or cannot be asked.
std::optional<uint64_t> free_bytes(const FolderHandle& dir);
// The longest path, in bytes of UTF-8, that the system's file calls take.
std::size_t max_path_bytes();

}  // namespace quillon
