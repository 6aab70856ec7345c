// SPDX-License-Identifier: Apache-2.0
#pragma once
// The system's default locale, as the language rule asks about it.
namespace quillon {

// Whether the system's default locale is Chinese as used in the People's Republic of China.
// Windows: GetSystemDefaultLCID() == 2052 (0x0804). Elsewhere: LC_ALL, else LC_MESSAGES, else
// LANG begins with "zh_CN" (locale_is_zh_cn over the environment).
bool system_locale_is_zh_cn();

// The rule of the locale variables over given values: the first one that is set and not empty
// decides; none: false.
bool locale_is_zh_cn(const char* lc_all, const char* lc_messages, const char* lang);

}  // namespace quillon
