#include "images/find_by_prefix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

namespace quillon {

namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

}  // namespace

bool name_has_prefix(const std::string& name, const std::string& keyword) {
    if (name.size() < keyword.size()) return false;
    for (std::size_t i = 0; i < keyword.size(); ++i)
        if (ascii_lower(name[i]) != ascii_lower(keyword[i])) return false;
    return true;
}

int find_by_prefix(const std::string& folder, const std::string& keyword, std::string& field) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) return -1;
    int dfd = ::dirfd(dir.get());
    std::vector<std::string> found;
    while (dirent* e = ::readdir(dir.get())) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!name_has_prefix(name, keyword)) continue;
        struct stat st {};
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode)) continue;
        found.push_back(folder + "/" + name);
        if (found.size() > 1) return -1;  // several matches: the slot keeps what it has
    }
    if (found.size() != 1) return -1;
    field = found.front();
    return 0;
}

}  // namespace quillon
