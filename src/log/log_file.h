// SPDX-License-Identifier: Apache-2.0
#pragma once
// One log file with its own lock: the user report (WriteTagged) and the device log (WriteInfo).
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "log/debug_log.h"

namespace quillon {

class LogFile {
public:
    LogFile() = default;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile();

    // Creates or truncates the file. A second Open on an open LogFile changes nothing. When the
    // file cannot be opened, "Failed to open log file: <path>" goes to standard error and the
    // LogFile stays closed: every later write is dropped.
    void Open(const std::string& path);
    bool is_open() const;

    // "<pre>[timestamp] [TAG] message</pre>\n", tag and message HTML-escaped, flushed.
    void WriteTagged(const char* tag, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    // "[timestamp] [INFO] message\n", flushed. Plain text, nothing escaped.
    void WriteInfo(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

private:
    void write_line(std::string_view before, const std::string& message, std::string_view after);

    mutable std::mutex lock_;  // held for one whole line; no other lock is taken under it
    std::FILE* stream_ = nullptr;
};

// & < > " as HTML entities, so that texts from devices cannot add markup to the report;
// control characters (line breaks among them) as the text \xNN, so that they cannot add lines.
std::string escape_html(std::string_view text);

// Opens a URL for the user; the desktop program uses the desktop's handler, tests record it.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open_url(const std::string& url) = 0;
};

// Hands "file:///<cwd>/log/upgrade_user.html" (see file_url) to the opener when that file
// exists. The working directory is the one of the moment of the call.
void ShowUserReport(UrlOpener& opener);

// "file://" followed by the absolute path, with the bytes that would change the URL's
// meaning (space, '#', '%', '?', non-ASCII, ...) percent-encoded.
std::string file_url(const std::string& absolute_path);

// The log files of one run. The desktop program's main window owns one; the headless tool too.
struct RunLogs {
    LogFile userReport;  // "upgrade_user.html", always
    LogFile deviceLog;   // "upgrade_dev.log", debug mode only; closed (writes dropped) otherwise
    DebugLog debugLog;   // the diagnostic lines, debug mode only
    std::string debug_log_path;  // debugLog's file; empty when it is not open
};

// Start-up of the logs, in this order: create <dir>/log if missing; open the user report
// (emptied); in debug mode start the debug log and open the device log; then write "upgrade start !\n" to the device log (lost when it is closed).
// `dir` is the working directory of start-up. Failures are reported as LogFile::Open does and
// start-up goes on.
void open_logs(const std::string& dir, bool debug_mode, RunLogs& logs);

}  // namespace quillon
