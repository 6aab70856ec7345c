// SPDX-License-Identifier: Apache-2.0
// The parts of the file service that the C++ library does the same way everywhere; paths go
// through u8string, which is UTF-8 on every system (a plain std::string would be read in the
// ANSI code page on Windows).
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/files.h"

namespace quillon {
namespace {

std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8_of(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

}  // namespace

bool path_exists(const std::string& path, std::string* why) {
    std::error_code ec;
    const bool found = !path.empty() && std::filesystem::exists(fs_path(path), ec);
    if (!found && why)
        *why = ec ? ec.message()
                  : std::make_error_code(std::errc::no_such_file_or_directory).message();
    return found;
}

bool is_regular_file(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(fs_path(path), ec);
}

bool list_folder(const std::string& folder, std::vector<FolderEntry>& out) {
    out.clear();
    std::error_code ec;
    std::filesystem::directory_iterator it(fs_path(folder), ec);
    if (ec) return false;
    // An entry that cannot be looked at is left out; an error while reading ends the list.
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code entry_ec;
        const auto type = it->symlink_status(entry_ec).type();
        if (entry_ec) continue;
        out.push_back(
            {utf8_of(it->path().filename()), type == std::filesystem::file_type::regular});
    }
    return true;
}

std::string absolute_path(const std::string& path) {
    std::error_code ec;
    const auto abs = std::filesystem::absolute(fs_path(path), ec);
    return ec ? path : utf8_of(abs.lexically_normal());
}

bool remove_file(const std::string& path) {
    std::error_code ec;
    return !path.empty() && !std::filesystem::is_directory(fs_path(path), ec) &&
           std::filesystem::remove(fs_path(path), ec);
}

std::string file_name_of(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (is_path_separator(path[i - 1])) return path.substr(i);
    return path;
}

bool read_whole_file(const std::string& path, std::string& out, uint64_t max_bytes) {
    out.clear();
    ReadOnlyFile file(path);
    uint64_t size = 0;
    if (!file.valid() || !file.regular_size(size) || size > max_bytes) return false;
    std::string text(std::size_t(size), '\0');
    if (size > 0 && !file.read_at(text.data(), text.size(), 0)) return false;
    out = std::move(text);
    return true;
}

}  // namespace quillon
