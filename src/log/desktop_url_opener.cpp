// SPDX-License-Identifier: Apache-2.0
#include "log/desktop_url_opener.h"

#include <cstdio>

#include "platform/open_url.h"

namespace quillon {

void DesktopUrlOpener::open_url(const std::string& url) {
    if (quillon::open_url(url) != 0) std::fprintf(stderr, "Cannot open %s\n", url.c_str());
}

}  // namespace quillon
