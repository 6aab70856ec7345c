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
    if (value) ::setenv(name.c_str(), value, 1);
    else ::unsetenv(name.c_str());
#endif
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
                path_ = std::filesystem::canonical(base / name).generic_string();
                return;
            }
        }
        throw std::runtime_error("no temporary folder could be made");
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

class ScopedChdir {
public:
    explicit ScopedChdir(const std::string& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
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

inline void write_file(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
}

inline std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace quillon::test
