// SPDX-License-Identifier: Apache-2.0
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/thread_id.h"

namespace quillon {

int os_thread_id() { return int(::syscall(SYS_gettid)); }

}  // namespace quillon
