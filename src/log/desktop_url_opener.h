// SPDX-License-Identifier: Apache-2.0
#pragma once
// Opens URLs with the desktop's default handler (the platform's open_url), never through a shell.
#include "log/log_file.h"

namespace quillon {

class DesktopUrlOpener : public UrlOpener {
public:
    // Starts the handler and returns; when the URL is refused or the handler cannot be started,
    // says so on standard error.
    void open_url(const std::string& url) override;
};

}  // namespace quillon
