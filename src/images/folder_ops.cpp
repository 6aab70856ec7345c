#include "images/folder_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct Entry {
    std::string name;
    bool is_dir;
};

// Lists a folder without following a link in its place. Returns false when it cannot be listed.
bool list_folder(const std::string& folder, std::vector<Entry>& out) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) return false;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd.get()));
    if (!dir) return false;
    fd.release();  // the DIR owns it now
    int dfd = ::dirfd(dir.get());
    while (dirent* e = ::readdir(dir.get())) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        bool is_dir;
        if (e->d_type != DT_UNKNOWN) {
            is_dir = e->d_type == DT_DIR;
        } else {
            struct stat st {};
            if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
            is_dir = S_ISDIR(st.st_mode);
        }
        out.push_back({std::move(name), is_dir});
    }
    return true;
}

}  // namespace

bool delete_tree(const std::string& folder) {
    if (folder.empty()) return false;
    // The listing is taken whole before anything is removed and its handle closed, so a deep tree
    // holds one descriptor at a time.
    std::vector<Entry> entries;
    if (!list_folder(folder, entries)) return ::rmdir(folder.c_str()) == 0;
    for (const Entry& e : entries) {
        std::string path = folder + "/" + e.name;
        if (e.is_dir) {
            if (!delete_tree(path)) return false;
        } else if (::unlink(path.c_str()) != 0) {
            return false;
        }
    }
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
