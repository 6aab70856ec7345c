// SPDX-License-Identifier: Apache-2.0
#pragma once
// The system's number of the calling thread, as debug lines show it (gettid on Linux,
// GetCurrentThreadId on Windows).

namespace quillon {

int os_thread_id();

}  // namespace quillon
