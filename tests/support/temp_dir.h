// SPDX-License-Identifier: Apache-2.0
#pragma once
// A folder of the test's own, removed with everything in it at the end.
#include <string>

namespace quillon::test {

class TempDir {
public:
    // A new folder of a random name under the system's temporary folder; throws when none can
    // be made.
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    // UTF-8, absolute, with '/' between folders on either system: the tests join names with "/".
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace quillon::test
