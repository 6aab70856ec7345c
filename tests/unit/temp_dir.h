// SPDX-License-Identifier: Apache-2.0
#pragma once
// Test helpers: a temporary folder removed at the end, a working-directory change undone at the
// end, a file written or read whole, environment variables restored at the end.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillon::test {

// The environment, on either system (Windows has no setenv).
inline void set_env(const std::string& name, const char* value) {
#ifdef _WIN32
    ::_putenv_s(name.c_str(), value ? value : "");  // an empty value removes the variable
#else
    if (value)
        ::setenv(name.c_str(), value, 1);
    else
        ::unsetenv(name.c_str());
#endif
}

// A path from UTF-8 text, as the program names files: the narrow std::filesystem calls would read
// the text in the Windows code page instead.
inline std::filesystem::path fs_path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The UTF-8 text of a path, with '/' between folders on either system.
inline std::string utf8_of(const std::filesystem::path& p) {
    const std::u8string u = p.generic_u8string();
    return std::string(u.begin(), u.end());
}

class TempDir {
public:
    // A new folder of a random name: create_directory is the atomic "made by us" test.
    TempDir() {
        std::random_device rd;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "quillon-%08x", static_cast<unsigned>(rd()));
            std::error_code ec;
            if (std::filesystem::create_directory(base / name, ec)) {
                // Forward slashes on Windows too: the tests join names with "/".
                path_ = utf8_of(std::filesystem::canonical(base / name));
                return;
            }
        }
        throw std::runtime_error("no temporary folder could be made");
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(fs_path(path_), ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

class ScopedChdir {
public:
    explicit ScopedChdir(const std::string& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(fs_path(dir));
    }
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;
    ~ScopedChdir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
    }

private:
    std::filesystem::path old_;
};

// Sets or unsets (nullptr) environment variables and puts the old values back at the end.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            set_env(it->first, it->second ? it->second->c_str() : nullptr);
    }
    void set(const std::string& name, const char* value) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        set_env(name, value);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Writes `content` as the whole file, making the folders above it where they are missing.
inline void write_file(const std::string& path, const std::string& content) {
    std::error_code ec;
    const std::filesystem::path parent = fs_path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    std::ofstream f(fs_path(path), std::ios::binary | std::ios::trunc);
    f << content;
}

inline std::string read_file(const std::string& path) {
    std::ifstream f(fs_path(path), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(fs_path(path), ec);
}

}  // namespace quillon::test
