// SPDX-License-Identifier: Apache-2.0
#pragma once
// Opening a web page with the desktop's handler, without a shell: xdg-open, started detached, on
// Linux; ShellExecuteW with the verb "open" on Windows.
#include <string>

namespace quillon {

// What may be opened: an "http://" or "https://" URL with a host, or a "file://" URL of an HTML
// file (".html" or ".htm"), with no blank or control character anywhere. Anything else could
// name a program for the handler to run.
bool url_may_be_opened(const std::string& url);

// Hands `url` to the desktop's handler and returns without waiting for the page to show.
// 0: the handler was started; -1: the URL was refused or the handler could not be started.
int open_url(const std::string& url);

// The local path a "file://" URL names: percent escapes decoded, '/' as the separator. Windows
// form when `windows` is set ("file:///C:/a%20b/x.html" -> "C:\a b\x.html", a host other than
// "localhost" -> "\\host\share\..."). Empty when the URL is no file URL or its path is not UTF-8.
std::string file_url_path(const std::string& url, bool windows);

}  // namespace quillon
