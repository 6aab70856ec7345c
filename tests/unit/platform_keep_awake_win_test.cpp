// SPDX-License-Identifier: Apache-2.0
// The request to stay awake is taken for the life of the object.
#include <gtest/gtest.h>

#include "platform/keep_awake.h"

namespace quillon {
namespace {

TEST(PlatformKeepAwakeWin, IsTakenWhileTheObjectLives) {
    KeepAwake awake;
    EXPECT_TRUE(awake.held());
}

}  // namespace
}  // namespace quillon
