// SPDX-License-Identifier: Apache-2.0
// LogFile: exact line layouts, escaping in the report, any message length, whole lines under
// concurrent writers, and the open rules.
#include "log/log_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <thread>
#include <vector>

#include "log_text_match.h"
#include "platform/local_time.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

using test::read_file;
using test::TempDir;

// Every line's timestamp must lie between the times taken before and after the write.
void expect_ts_between(const std::string& ts, const std::string& before, const std::string& after) {
    EXPECT_LE(before, ts);
    EXPECT_LE(ts, after);
}

TEST(LogFileLayout, TaggedLineIsPreTimestampTagMessage) {
    TempDir dir;
    std::string path = dir / "upgrade_user.html";
    LogFile log;
    log.Open(path);
    ASSERT_TRUE(log.is_open());
    std::string before = local_time_text();
    log.WriteTagged("SEARCH", "upgrade success: IP:%s MAC:%s", "10.0.0.5", "00:11:22:33:44:55");
    log.WriteTagged("IPSCAN", "upgrade failure: IP: %s MAC: %s", "10.0.0.6", "aa");
    std::string after = local_time_text();

    std::vector<std::string> ts;
    std::string content = read_file(path);
    ASSERT_TRUE(test::match_with_ts(
        content,
        "<pre>[{ts}] [SEARCH] upgrade success: IP:10.0.0.5 MAC:00:11:22:33:44:55</pre>\n"
        "<pre>[{ts}] [IPSCAN] upgrade failure: IP: 10.0.0.6 MAC: aa</pre>\n",
        &ts))
        << content;
    expect_ts_between(ts[0], before, after);
    expect_ts_between(ts[1], before, after);
}

TEST(LogFileLayout, TaggedLineEscapesTagAndMessage) {
    TempDir dir;
    std::string path = dir / "r.html";
    LogFile log;
    log.Open(path);
    // A device may report any bytes as its MAC or version; none of them may become markup.
    log.WriteTagged("U<S>R&\"", "ipaddress conflict, IP:%s MAC:%s MAC2:%s", "1.2.3.4",
                    "</pre><script>alert(\"x\")</script>", "a&b");
    std::string content = read_file(path);
    EXPECT_TRUE(test::match_with_ts(
        content,
        "<pre>[{ts}] [U&lt;S&gt;R&amp;&quot;] ipaddress conflict, IP:1.2.3.4 "
        "MAC:&lt;/pre&gt;&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; MAC2:a&amp;b</pre>\n"))
        << content;
    // Only the layout's own markup is left.
    EXPECT_EQ(content.find("<script"), std::string::npos);
    EXPECT_EQ(content.rfind("<pre>"), 0u);
}

TEST(LogFileLayout, EscapeHtmlReplacesTheFourCharactersAndShowsControlCharacters) {
    EXPECT_EQ(escape_html("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e'f");
    EXPECT_EQ(escape_html("&amp;"), "&amp;amp;");
    EXPECT_EQ(escape_html(""), "");
    EXPECT_EQ(escape_html("设备 ok"), "设备 ok");
    EXPECT_EQ(escape_html("a\nb\r\tc\x1b\x7f~"), "a\\x0Ab\\x0D\\x09c\\x1B\\x7F~");
}

TEST(LogFileLayout, InfoLineIsPlainAndKeepsTheMessagesOwnLineEnd) {
    TempDir dir;
    std::string path = dir / "upgrade_dev.log";
    LogFile log;
    log.Open(path);
    std::string before = local_time_text();
    log.WriteInfo("upgrade start !\n");
    log.WriteInfo("a<b & \"c\" %d", 7);
    std::string after = local_time_text();
    std::vector<std::string> ts;
    std::string content = read_file(path);
    ASSERT_TRUE(
        test::match_with_ts(content,
                            "[{ts}] [INFO] upgrade start !\n\n[{ts}] [INFO] a<b & \"c\" 7\n", &ts))
        << content;
    expect_ts_between(ts[0], before, after);
    expect_ts_between(ts[1], before, after);
}

TEST(LogFileLayout, MessageLongerThan64KiBIsWrittenWhole) {
    TempDir dir;
    std::string path = dir / "r.html";
    LogFile log;
    log.Open(path);
    std::string big(70000, 'x');
    big[0] = 'A';
    big.back() = 'Z';
    log.WriteTagged("USR", "%s|%05d", big.c_str(), 42);
    log.WriteInfo("%s", big.c_str());  // no tag: the other writer has no limit either

    std::string content = read_file(path);
    size_t first_end = content.find('\n');
    ASSERT_NE(first_end, std::string::npos);
    std::string line1 = content.substr(0, first_end + 1);
    std::string line2 = content.substr(first_end + 1);
    const size_t ts = 19;
    EXPECT_EQ(line1.size(), std::string("<pre>[] [USR] ").size() + ts + big.size() +
                                std::string("|00042</pre>\n").size());
    EXPECT_NE(line1.find("] [USR] " + big + "|00042</pre>\n"), std::string::npos);
    EXPECT_EQ(line2.size(), std::string("[] [INFO] \n").size() + ts + big.size());
    EXPECT_NE(line2.find("] [INFO] " + big + "\n"), std::string::npos);
}

TEST(LogFileConcurrency, WritersNeverMixLines) {
    TempDir dir;
    std::string path = dir / "r.html";
    LogFile log;
    log.Open(path);
    const int threads = 8, lines = 400;
    // Lines longer than a stdio buffer, so that a line written in pieces would show.
    const std::string pad(5000, '.');
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (int n = 0; n < lines; ++n) {
                if (n % 2)
                    log.WriteTagged("SEARCH", "t%d n%d %s end", t, n, pad.c_str());
                else
                    log.WriteInfo("t%d n%d %s end", t, n, pad.c_str());
            }
        });
    }
    for (auto& th : pool) th.join();

    std::string content = read_file(path);
    std::vector<int> next(threads, 0);  // each thread's lines appear in its own order
    std::istringstream in(content);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        SCOPED_TRACE("line " + std::to_string(count) + ": " + line.substr(0, 80));
        bool tagged = line.rfind("<pre>", 0) == 0;
        std::string body = line;
        if (tagged) {
            ASSERT_GE(line.size(), 11u);
            ASSERT_EQ(line.substr(line.size() - 6), "</pre>");
            body = line.substr(5, line.size() - 11);
        }
        ASSERT_GE(body.size(), 23u);
        ASSERT_EQ(body[0], '[');
        ASSERT_TRUE(test::is_timestamp(body.substr(1, 19)));
        std::string head = tagged ? "] [SEARCH] " : "] [INFO] ";
        ASSERT_EQ(body.substr(20, head.size()), head);
        std::string message = body.substr(20 + head.size());
        int t = -1, n = -1;
        ASSERT_EQ(std::sscanf(message.c_str(), "t%d n%d ", &t, &n), 2);
        ASSERT_TRUE(t >= 0 && t < threads);
        EXPECT_EQ(message, "t" + std::to_string(t) + " n" + std::to_string(n) + " " + pad + " end");
        EXPECT_EQ(n, next[t]) << "thread " << t;
        EXPECT_EQ(tagged, n % 2 == 1);
        next[t] = n + 1;
        ++count;
    }
    EXPECT_EQ(count, threads * lines);
}

TEST(LogFileOpen, OpenTruncatesAnOldFile) {
    TempDir dir;
    std::string path = dir / "r.html";
    test::write_file(path, "old run\n");
    LogFile log;
    log.Open(path);
    EXPECT_TRUE(log.is_open());
    EXPECT_EQ(read_file(path), "");
}

TEST(LogFileOpen, SecondOpenChangesNothing) {
    TempDir dir;
    LogFile log;
    log.Open(dir / "first.html");
    log.WriteTagged("USR", "one");
    testing::internal::CaptureStderr();
    log.Open(dir / "second.html");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    log.WriteTagged("USR", "two");
    EXPECT_FALSE(test::exists(dir / "second.html"));
    std::string content = read_file(dir / "first.html");
    EXPECT_NE(content.find("] one</pre>\n"), std::string::npos);
    EXPECT_NE(content.find("] two</pre>\n"), std::string::npos);
}

TEST(LogFileOpen, FailureIsReportedOnStandardErrorAndLeavesItClosed) {
    TempDir dir;
    std::string path = dir / "missing-folder/upgrade_user.html";
    LogFile log;
    testing::internal::CaptureStderr();
    log.Open(path);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to open log file: " + path + "\n");
    EXPECT_FALSE(log.is_open());
    log.WriteTagged("USR", "dropped %d", 1);
    log.WriteInfo("dropped\n");
    EXPECT_FALSE(test::exists(path));
    // A later Open may still succeed: the failed one did not count as opened.
    log.Open(dir / "ok.html");
    EXPECT_TRUE(log.is_open());
}

TEST(LogFileOpen, NeverOpenedDropsWrites) {
    LogFile log;
    EXPECT_FALSE(log.is_open());
    testing::internal::CaptureStderr();
    log.WriteInfo("upgrade start !\n");
    log.WriteTagged("SEARCH", "x");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(LogFileOpen, LinesAreOnDiskAsSoonAsWritten) {
    TempDir dir;
    std::string path = dir / "r.html";
    LogFile log;
    log.Open(path);
    log.WriteTagged("USR", "a");
    // Read while the LogFile is still open: each line is flushed.
    EXPECT_NE(read_file(path).find("] a</pre>\n"), std::string::npos);
}

}  // namespace
}  // namespace quillon
