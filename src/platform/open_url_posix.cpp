// SPDX-License-Identifier: Apache-2.0
#include "platform/open_url.h"

#include "platform/run_program.h"

namespace quillon {

int open_url(const std::string& url) {
    if (!url_may_be_opened(url)) return -1;
    // "--" is not understood by xdg-open; an accepted URL starts with its scheme, so it cannot be
    // taken for an option.
    return spawn_detached({"xdg-open", url});
}

}  // namespace quillon
