// SPDX-License-Identifier: Apache-2.0
// Showing the user report: the URL handed to the opener, and when nothing is handed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "log/log_file.h"
#include "platform/files.h"
#include "support/files.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using test::ScopedChdir;
using test::TempDir;

class RecordingOpener : public UrlOpener {
public:
    void open_url(const std::string& url) override { urls.push_back(url); }
    std::vector<std::string> urls;
};

std::string percent_decode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

void make_report(const std::string& dir) {
    test::write_file(dir + "/log/upgrade_user.html", "<pre>x</pre>\n");
}

// The path part of a file URL for the absolute path `path`, as each system writes it:
// "/tmp/x/..." on Linux, "/C:/Users/x/..." on Windows (the drive after a slash, '/' between
// folders).
std::string url_path_of(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path.front() == '/' ? path : "/" + path;
}

// The URL of the report in the folder `dir`.
std::string report_url_in(const std::string& dir) {
    return "file://" + url_path_of(dir + "/log/upgrade_user.html");
}

TEST(ShowUserReport, HandsTheFileUrlOfTheReportInTheWorkingDirectory) {
    TempDir dir;
    make_report(dir.path());
    ScopedChdir cd(dir.path());
    RecordingOpener opener;
    ShowUserReport(opener);
    ASSERT_EQ(opener.urls.size(), 1u);
    EXPECT_EQ(opener.urls[0], report_url_in(dir.path()));
    EXPECT_EQ(opener.urls[0].rfind("file:///", 0), 0u);
}

TEST(ShowUserReport, NothingWhenTheReportIsMissing) {
    TempDir dir;
    ScopedChdir cd(dir.path());
    RecordingOpener opener;
    ShowUserReport(opener);
    std::filesystem::create_directories(
        test::fs_path(dir / "log/upgrade_user.html"));  // a folder, not a report
    ShowUserReport(opener);
    EXPECT_TRUE(opener.urls.empty());
}

TEST(ShowUserReport, UsesTheWorkingDirectoryOfTheMomentOfTheCall) {
    TempDir first, second;
    make_report(first.path());
    make_report(second.path());
    RecordingOpener opener;
    {
        ScopedChdir cd(first.path());
        ShowUserReport(opener);
    }
    {
        ScopedChdir cd(second.path());
        ShowUserReport(opener);
    }
    ASSERT_EQ(opener.urls.size(), 2u);
    EXPECT_EQ(opener.urls[0], report_url_in(first.path()));
    EXPECT_EQ(opener.urls[1], report_url_in(second.path()));
}

TEST(ShowUserReport, AnOddFolderNameStillNamesTheSameFile) {
    TempDir dir;
    // Windows forbids '?' in a name; ';' is as odd for a URL there.
    std::string odd = dir /
                      (path_separator() == '/' ? "site #3 100% ?a=b 楼" : "site #3 100% ;a=b 楼");
    make_report(odd);
    ScopedChdir cd(odd);
    RecordingOpener opener;
    ShowUserReport(opener);
    ASSERT_EQ(opener.urls.size(), 1u);
    const std::string& url = opener.urls[0];
    // Nothing left that a URL reader would take for a fragment, a query or an escape.
    EXPECT_EQ(url.find_first_of(" #?"), std::string::npos) << url;
    EXPECT_EQ(percent_decode(url.substr(7)), url_path_of(odd + "/log/upgrade_user.html"));
}

TEST(FileUrl, EncodesEveryByteThatWouldChangeTheMeaning) {
    EXPECT_EQ(file_url("/a/b-c_d.e~f/G9.html"), "file:///a/b-c_d.e~f/G9.html");
    EXPECT_EQ(file_url("/a b/#/%/?/&/ü"), "file:///a%20b/%23/%25/%3F/%26/%C3%BC");
}

}  // namespace
}  // namespace quillon
