// SPDX-License-Identifier: Apache-2.0
#pragma once
// Helpers shared by the table tests.
#include <new>

#include "log/log_file.h"

namespace quillon::test {

// A user report that is never opened or written: the headless window only keeps a reference
// to it. It is never destroyed either, so these tests need no part of the log module's code.
inline LogFile& unused_user_report() {
    union Holder {
        LogFile file;
        Holder() { ::new (&file) LogFile(); }
        ~Holder() {}
    };
    static Holder holder;
    return holder.file;
}

}  // namespace quillon::test
