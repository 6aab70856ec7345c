// SPDX-License-Identifier: Apache-2.0
// A log on a device that refuses every write: Linux's /dev/full.
#include <gtest/gtest.h>

#include "log/log_file.h"
#include "support/files.h"

namespace quillon {
namespace {

TEST(LogFileOpen, WriteErrorsAreIgnoredAndLaterLinesStillTried) {
    if (!test::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    LogFile log;
    log.Open("/dev/full");
    ASSERT_TRUE(log.is_open());
    log.WriteTagged("USR", "disk full");
    log.WriteInfo("still %s", "here");
    EXPECT_TRUE(log.is_open());
}

}  // namespace
}  // namespace quillon
