// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "platform/thread_id.h"

namespace quillon {

int os_thread_id() { return int(::GetCurrentThreadId()); }

}  // namespace quillon
