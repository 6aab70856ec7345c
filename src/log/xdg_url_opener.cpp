#include "log/xdg_url_opener.h"

#include <cstdio>

#include "platform/run_program.h"

namespace quillon {

void XdgUrlOpener::open_url(const std::string& url) {
    // "--" is not understood by xdg-open; a URL we build always starts with a scheme, so it
    // cannot be taken for an option.
    if (spawn_detached({"xdg-open", url}) != 0)
        std::fprintf(stderr, "Cannot start xdg-open to show %s\n", url.c_str());
}

}  // namespace quillon
