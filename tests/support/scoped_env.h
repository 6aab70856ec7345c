// SPDX-License-Identifier: Apache-2.0
#pragma once
// The process's environment variables and working directory changed for a test's life and put
// back at its end.
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillon::test {

// Sets a variable, or removes it (nullptr), on either system (Windows has no setenv).
void set_env(const std::string& name, const char* value);

// Sets or removes (nullptr) variables and puts the old values back at the end.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv();
    void set(const std::string& name, const char* value);

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Works in `dir` (UTF-8) until the end.
class ScopedChdir {
public:
    explicit ScopedChdir(const std::string& dir);
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;
    ~ScopedChdir();

private:
    std::filesystem::path old_;
};

}  // namespace quillon::test
