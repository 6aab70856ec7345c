// SPDX-License-Identifier: Apache-2.0
#include "platform/keep_awake.h"

namespace quillon {

KeepAwake::KeepAwake() = default;
KeepAwake::~KeepAwake() = default;

}  // namespace quillon
