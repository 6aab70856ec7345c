// SPDX-License-Identifier: Apache-2.0
#include "platform/system_locale.h"

#include <cstdlib>

namespace quillon {

bool system_locale_is_zh_cn() {
    return locale_is_zh_cn(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace quillon
