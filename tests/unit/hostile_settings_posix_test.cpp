// SPDX-License-Identifier: Apache-2.0
// config.ini as a "file" that is a folder, a device, a pipe or a broken link, made with the
// POSIX calls and read in a forked child with a deadline.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "app/settings.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using test::TempDir;

// Whatever config.ini is when it is no regular file, start-up reads the defaults, the markers
// still count, and nothing waits for ever (a device such as /dev/zero never ends).
TEST(HostileSettings, AConfigThatIsNoFileGivesTheDefaults) {
    TempDir dir;
    test::write_file(dir / "test_language", "");
    const std::string config = dir / "config.ini";
    struct Case {
        const char* what;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"a folder with a config inside",
         [&] {
             ::mkdir(config.c_str(), 0755);
             test::write_file(config + "/config.ini", "[Settings]\ndebug=1\n");
         }},
        {"a link to a folder",
         [&] { ASSERT_EQ(::symlink(dir.path().c_str(), config.c_str()), 0); }},
        {"a link to /dev/zero", [&] { ASSERT_EQ(::symlink("/dev/zero", config.c_str()), 0); }},
        {"a link to /dev/urandom",
         [&] { ASSERT_EQ(::symlink("/dev/urandom", config.c_str()), 0); }},
        {"a dangling link", [&] { ASSERT_EQ(::symlink("nowhere.ini", config.c_str()), 0); }},
        {"a link to itself", [&] { ASSERT_EQ(::symlink("config.ini", config.c_str()), 0); }},
        {"a pipe nobody writes to", [&] { ASSERT_EQ(::mkfifo(config.c_str(), 0644), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(config);
        c.make();
        // In a child with a deadline: reading a device or pipe would never return.
        const int rc = test::run_in_child(
            [&] {
                const Settings s = load_settings(dir.path());
                const bool defaults = s.language == "ch" && !s.debug && !s.fake_burn;
                return defaults && s.use_english ? 0 : 1;
            },
            std::chrono::seconds(10));
        EXPECT_EQ(rc, 0) << "1: not the defaults, -1: crashed or hung";
    }
}

}  // namespace
}  // namespace quillon
