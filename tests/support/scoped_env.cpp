// SPDX-License-Identifier: Apache-2.0
#include "support/scoped_env.h"

#include <cstdlib>

#include "support/files.h"

namespace quillon::test {

void set_env(const std::string& name, const char* value) {
#ifdef _WIN32
    ::_putenv_s(name.c_str(), value ? value : "");  // an empty value removes the variable
#else
    if (value)
        ::setenv(name.c_str(), value, 1);
    else
        ::unsetenv(name.c_str());
#endif
}

ScopedEnv::~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        set_env(it->first, it->second ? it->second->c_str() : nullptr);
}

void ScopedEnv::set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    set_env(name, value);
}

ScopedChdir::ScopedChdir(const std::string& dir) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(fs_path(dir));
}

ScopedChdir::~ScopedChdir() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
}

}  // namespace quillon::test
