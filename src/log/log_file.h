#pragma once
// One log file with its own lock: the user report (WriteTagged) and the device log (WriteInfo).
#include <cstdio>
#include <mutex>
#include <string>

namespace quillon {

class LogFile {
public:
    LogFile() = default;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile();

    // Creates or truncates the file. A second Open on an open LogFile changes nothing.
    void Open(const std::string& path);
    bool is_open() const;

    // "<pre>[timestamp] [TAG] message</pre>\n", tag and message HTML-escaped, flushed.
    void WriteTagged(const char* tag, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    // "[timestamp] [INFO] message\n", flushed.
    void WriteInfo(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

private:
    mutable std::mutex lock_;  // held for one whole line; no other lock is taken under it
    std::FILE* stream_ = nullptr;
};

// Redirects standard output of every thread into log/log_YYYYMMDD_HHMMSS.txt below the
// working directory. Returns the file's path, or empty when it could not be opened.
std::string StartDebugLog();

// Opens a URL for the user; the desktop program uses the desktop's handler, tests record it.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open_url(const std::string& url) = 0;
};

// Hands "file:///<cwd>/log/upgrade_user.html" to the opener when that file exists.
void ShowUserReport(UrlOpener& opener);

}  // namespace quillon
