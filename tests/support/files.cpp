// SPDX-License-Identifier: Apache-2.0
#include "support/files.h"

#include <fstream>
#include <sstream>

#include "platform/run_program.h"

namespace quillon::test {

std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8_of(const std::filesystem::path& p) {
    const std::u8string u = p.generic_u8string();
    return std::string(u.begin(), u.end());
}

void write_file(const std::string& path, const std::string& content) {
    std::error_code ec;
    const std::filesystem::path parent = fs_path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    std::ofstream f(fs_path(path), std::ios::binary | std::ios::trunc);
    f << content;
}

std::string read_file(const std::string& path) {
    std::ifstream f(fs_path(path), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(fs_path(path), ec);
}

std::string beside_this_program(const std::string& name) {
    const std::string self = current_executable_path();
    const auto slash = self.find_last_of("/\\");
    if (slash == std::string::npos) return {};
    return self.substr(0, slash + 1) + name;
}

}  // namespace quillon::test
