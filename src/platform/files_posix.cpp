// SPDX-License-Identifier: Apache-2.0
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/unique_fd.h"

namespace quillon {

std::string current_directory() {
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE || buf.size() > (1u << 20)) return {};
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

bool make_directory(const std::string& path, unsigned posix_mode) {
    return ::mkdir(path.c_str(), mode_t(posix_mode)) == 0;
}

char path_separator() { return '/'; }
bool is_path_separator(char c) { return c == '/'; }

bool name_length_fits(const std::string& name) { return name.size() <= NAME_MAX; }

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// One folder on the way down: its identity, its name in its parent, and the sub-folders still to
// be removed.
struct Level {
    dev_t dev = 0;
    ino_t ino = 0;
    std::string name;
    std::vector<std::string> pending;
};

// Removes every non-folder entry of the open folder `fd` and collects its sub-folders.
bool clear_files(int fd, Level& level) {
    struct stat self {};
    if (::fstat(fd, &self) != 0) return false;
    level.dev = self.st_dev;
    level.ino = self.st_ino;
    int dup = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (dup < 0) return false;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(dup));
    if (!dir) {
        ::close(dup);
        return false;
    }
    while (dirent* e = ::readdir(dir.get())) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        bool is_dir;
        if (e->d_type != DT_UNKNOWN) {
            is_dir = e->d_type == DT_DIR;
        } else {
            struct stat st {};
            if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
            is_dir = S_ISDIR(st.st_mode);
        }
        if (is_dir)
            level.pending.emplace_back(e->d_name);
        else if (::unlinkat(fd, e->d_name, 0) != 0)
            return false;
    }
    return true;
}

}  // namespace

// Walks down and back up the tree with one open handle (up through ".."), so a tree of any depth
// costs time in proportion to its size and never runs out of descriptors. Links are never entered:
// every folder is opened with O_NOFOLLOW, and a ".." that is not the folder we came from stops
// the walk.
bool delete_tree(const std::string& folder) {
    if (folder.empty()) return false;
    UniqueFd cur(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!cur.valid()) return ::rmdir(folder.c_str()) == 0;

    std::vector<Level> path(1);  // path.back() describes `cur`
    if (!clear_files(cur.get(), path.back())) return false;
    for (;;) {
        Level& here = path.back();
        if (!here.pending.empty()) {
            std::string sub = std::move(here.pending.back());
            here.pending.pop_back();
            UniqueFd child(
                ::openat(cur.get(), sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!child.valid()) return false;
            cur = std::move(child);
            path.push_back(Level{});
            path.back().name = std::move(sub);
            if (!clear_files(cur.get(), path.back())) return false;
            continue;
        }
        if (path.size() == 1) break;
        // `cur` is empty now: go back to its parent and remove it there.
        UniqueFd parent(::openat(cur.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!parent.valid()) return false;
        struct stat st {};
        const Level& up = path[path.size() - 2];
        if (::fstat(parent.get(), &st) != 0 || st.st_dev != up.dev || st.st_ino != up.ino)
            return false;  // moved under our feet
        const std::string name = std::move(path.back().name);
        path.pop_back();
        cur = std::move(parent);
        if (::unlinkat(cur.get(), name.c_str(), AT_REMOVEDIR) != 0) return false;
    }
    cur.reset();
    return ::rmdir(folder.c_str()) == 0;
}

std::string last_file_error_text() { return std::strerror(errno); }

std::FILE* open_for_writing(const std::string& path) {
    // What fopen(path, "we") does, except that the open itself cannot block: a pipe left under
    // the file's name with nobody reading it would otherwise hold the caller for ever, where now
    // the open fails (ENXIO). Close-on-exec: programs started later (ping, xdg-open) do not
    // inherit the descriptor.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK,
                          0666);
    if (fd < 0) return nullptr;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "w");
    if (!f) ::close(fd);
    return f;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path)
    : handle_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

ReadOnlyFile::~ReadOnlyFile() { close(); }

void ReadOnlyFile::close() {
    if (valid()) ::close(int(handle_));
    handle_ = -1;
}

bool ReadOnlyFile::regular_size(uint64_t& size) const {
    struct stat st {};
    if (!valid() || ::fstat(int(handle_), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return false;
    size = uint64_t(st.st_size);
    return true;
}

bool ReadOnlyFile::read_at(void* out, std::size_t len, uint64_t offset) const {
    auto* p = static_cast<unsigned char*>(out);
    while (len > 0) {
        const ssize_t n = ::pread(int(handle_), p, len, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        len -= std::size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

}  // namespace quillon
