// SPDX-License-Identifier: Apache-2.0
// What may be handed to the desktop's handler, and the path a file URL names.
#include "platform/open_url.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(OpenUrl, WebPagesAndHtmlFilesOnly) {
    for (const char* ok : {"http://198.18.0.10", "HTTP://10.0.0.1/index.html", "https://host/x?a=b",
                           "file:///home/u/log/upgrade_user.html", "file:///C:/Users/x/report.HTM",
                           "file:///tmp/%E5%9B%BA%E4%BB%B6%20v2/upgrade_user.html"})
        EXPECT_TRUE(url_may_be_opened(ok)) << ok;
    for (const char* bad :
         {"", "http://", "http:///etc/passwd", "ftp://host/x", "javascript:alert(1)",
          "C:\\Windows\\system32\\calc.exe", "calc.exe", "/usr/bin/xterm", "-e", "--help",
          "file:///usr/bin/xterm", "file:///C:/x/run.exe", "file:///tmp/a.html.desktop",
          "http://10.0.0.1 --x", "http://10.0.0.1\n", "http://a\tb", "file:///tmp/%00.html",
          "file:///tmp/%FF.html"})
        EXPECT_FALSE(url_may_be_opened(bad)) << bad;
}

TEST(OpenUrl, TheFileAFileUrlNames) {
    EXPECT_EQ(file_url_path("file:///tmp/a%20b/x.html", false), "/tmp/a b/x.html");
    EXPECT_EQ(file_url_path("file://localhost/tmp/x.html", false), "/tmp/x.html");
    EXPECT_EQ(file_url_path("file:///tmp/x.html?q#f", false), "/tmp/x.html");
    EXPECT_EQ(file_url_path("file:///C:/a%20b/%E5%BC%A0%E4%BC%9F/x.html", true),
              "C:\\a b\\\xE5\xBC\xA0\xE4\xBC\x9F\\x.html");
    EXPECT_EQ(file_url_path("file://server/share/x.html", true), "\\\\server\\share\\x.html");
    EXPECT_EQ(file_url_path("file://server/share/x.html", false), "");  // no other hosts here
    EXPECT_EQ(file_url_path("file:///tmp/x.html", true), "");           // no drive
    EXPECT_EQ(file_url_path("file:///tmp/%C0%AF.html", false), "");     // overlong '/'
    EXPECT_EQ(file_url_path("http://host/x.html", false), "");
    EXPECT_EQ(file_url_path("file:///a%2", false), "/a%2");  // a cut escape stays as it is
}

}  // namespace
}  // namespace quillon
