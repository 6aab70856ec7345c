// SPDX-License-Identifier: Apache-2.0
#pragma once
// A file that lines are added to, each one on the disk before the call returns: a power cut can
// lose the line being written, never one that was reported written.
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

class DurableFile {
public:
    DurableFile() = default;
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;
    ~DurableFile() { close(); }

    // Opens `path` (UTF-8) for adding at its end, creating it when missing; a file created here
    // has its folder entry forced to the disk as well. False when it cannot be opened.
    bool open(const std::string& path);
    bool is_open() const { return handle_ != kNone; }
    // Writes every byte of `bytes` at the end of the file and returns once they are on the disk.
    // False when any of it could not be written or forced out.
    bool append(std::string_view bytes);
    void close();

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;  // a descriptor, or a Win32 HANDLE
};

}  // namespace quillon
