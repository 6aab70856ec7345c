#pragma once
// Opens URLs with the desktop's default handler through xdg-open, started without a shell.
#include "log/log_file.h"

namespace quillon {

class XdgUrlOpener : public UrlOpener {
public:
    // Starts xdg-open detached; when it cannot be started, says so on standard error.
    void open_url(const std::string& url) override;
};

}  // namespace quillon
