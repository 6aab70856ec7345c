#include "log/log_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace quillon {

std::string current_dir() {
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE || buf.size() > (1u << 20)) return {};
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

std::string join_path(const std::string& dir, const std::string& name) {
    // No directory (the working directory could not be read) must not become the root.
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

void ensure_dir(const std::string& path) { ::mkdir(path.c_str(), 0755); }

}  // namespace quillon
