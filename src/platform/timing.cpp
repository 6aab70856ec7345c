// SPDX-License-Identifier: Apache-2.0
#include "platform/timing.h"

namespace quillon {

Timing& timing() {
    static Timing t;
    return t;
}

}  // namespace quillon
