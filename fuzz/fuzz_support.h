#pragma once
// Helpers shared by the libFuzzer targets: a fatal check, a scratch folder that lives as long as
// the fuzzing process, and quiet standard output (the engine's debug lines would otherwise flood
// the terminal at thousands of inputs a second).
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace quillon::fuzz {

// A broken promise of the code under test: abort, so that libFuzzer keeps the input.
inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

inline void silence_stdout() {
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
}

class ScratchDir {
public:
    explicit ScratchDir(const char* name) {
        std::string tmpl = (std::filesystem::temp_directory_path() / name).string() + "-XXXXXX";
        if (!::mkdtemp(tmpl.data())) std::abort();
        path_ = tmpl;
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace quillon::fuzz
