// SPDX-License-Identifier: Apache-2.0
#include "platform/system_locale.h"

#include <windows.h>

namespace quillon {

// Chinese (People's Republic of China).
constexpr LCID kChinesePrc = 2052;

bool system_locale_is_zh_cn() { return ::GetSystemDefaultLCID() == kChinesePrc; }

}  // namespace quillon
