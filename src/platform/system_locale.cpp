// SPDX-License-Identifier: Apache-2.0
#include "platform/system_locale.h"

#include <cstring>
#include <initializer_list>

namespace quillon {

bool locale_is_zh_cn(const char* lc_all, const char* lc_messages, const char* lang) {
    for (const char* v : {lc_all, lc_messages, lang}) {
        if (v && *v) return std::strncmp(v, "zh_CN", 5) == 0;
    }
    return false;
}

}  // namespace quillon
