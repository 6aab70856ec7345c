#include "images/folder_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/unique_fd.h"

namespace quillon {

bool make_dirs(const std::string& path) {
    std::string p = path;
    if (p.empty() || p.back() != '/') p += '/';
    bool last = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '/') continue;
        // The root itself ("" before a leading "/") cannot be created; like any other failure
        // it only counts when it is the last one.
        last = ::mkdir(p.substr(0, i).c_str(), 0777) == 0;
    }
    return last;
}

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
            UniqueFd child(::openat(cur.get(), sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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

std::string file_ext(const std::string& path) {
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {};
    return path.substr(dot + 1);
}

bool path_exists(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace quillon
