// SPDX-License-Identifier: Apache-2.0
#pragma once
// Helpers shared by the libFuzzer targets: a fatal check, a scratch folder that lives as long as
// the fuzzing process, and quiet diagnostic lines (the engine's would otherwise flood the terminal
// at thousands of inputs a second).
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "log/debug_line.h"

namespace quillon::fuzz {

// A broken promise of the code under test: abort, so that libFuzzer keeps the input.
inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// The engine's diagnostic lines, dropped for the whole run: they are not what is checked.
inline void silence_debug_lines() { static QuietDebugLines quiet; }

// Writes `bytes` as a new file at `path`. The old file is removed first rather than truncated:
// ext4 flushes a truncated and rewritten file to disk when it is closed, which would make every
// input cost a disk write.
inline void write_new_file(const std::string& path, const void* bytes, std::size_t size) {
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    check(fd >= 0, "cannot create a scratch file");
    const char* p = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        check(n > 0, "cannot write a scratch file");
        p += n;
        size -= std::size_t(n);
    }
    ::close(fd);
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
