// SPDX-License-Identifier: Apache-2.0
#pragma once
// Files read and written whole by UTF-8 name, as the program names them, on either system.
#include <filesystem>
#include <string>

namespace quillon::test {

// A path from UTF-8 text: the narrow std::filesystem calls would read the text in the Windows
// code page instead.
std::filesystem::path fs_path(const std::string& utf8);
// The UTF-8 text of a path, with '/' between folders on either system.
std::string utf8_of(const std::filesystem::path& p);

// Writes `content` as the whole file, making the folders above it where they are missing.
void write_file(const std::string& path, const std::string& content);
// The whole file; empty when it cannot be read.
std::string read_file(const std::string& path);
bool exists(const std::string& path);

// A helper program built beside the running test program (no extension: the platform's
// program calls add ".exe" where programs have one).
std::string beside_this_program(const std::string& name);

}  // namespace quillon::test
