// SPDX-License-Identifier: Apache-2.0
#include "support/temp_dir.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "platform/files.h"
#include "support/files.h"

namespace quillon::test {

TempDir::TempDir() {
    std::random_device rd;
    const std::filesystem::path base = std::filesystem::canonical(
        std::filesystem::temp_directory_path());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "quillon-%08x", static_cast<unsigned>(rd()));
        const std::string candidate = utf8_of(base / name);
        // Making the folder is the atomic "ours" test: it fails on one that exists.
        if (make_directory(candidate, 0700)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}

TempDir::~TempDir() {
    // Links inside are removed, never followed: a test may leave one pointing anywhere.
    delete_tree(path_);
}

}  // namespace quillon::test
