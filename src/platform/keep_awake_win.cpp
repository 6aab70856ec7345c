// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "platform/keep_awake.h"

namespace quillon {

KeepAwake::KeepAwake() {
    held_ = ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
}

KeepAwake::~KeepAwake() {
    // Back to the thread's plain state: the system may sleep again when idle.
    if (held_) ::SetThreadExecutionState(ES_CONTINUOUS);
}

}  // namespace quillon
