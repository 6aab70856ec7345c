// SPDX-License-Identifier: Apache-2.0
#include "log/log_file.h"

#include <cstdarg>

#include "log/format_message.h"
#include "platform/files.h"
#include "platform/local_time.h"

namespace quillon {

std::string escape_html(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: {
                // One event per line: a line break or other control character from a device
                // text (a MAC with "&#10;" in its answer) must not start a line of its own.
                const auto u = static_cast<unsigned char>(c);
                if (u < 0x20 || u == 0x7f) {
                    static const char hex[] = "0123456789ABCDEF";
                    out += "\\x";
                    out += hex[u >> 4];
                    out += hex[u & 15];
                } else {
                    out += c;
                }
            }
        }
    }
    return out;
}

LogFile::~LogFile() {
    std::lock_guard<std::mutex> g(lock_);
    if (stream_) std::fclose(stream_);
}

void LogFile::Open(const std::string& path) {
    std::lock_guard<std::mutex> g(lock_);
    if (stream_) return;
    // Binary, not inherited by programs started later (ping, xdg-open); a pipe left under the
    // file's name with nobody reading it fails the open instead of holding start-up for ever.
    stream_ = open_for_writing(path);
    if (!stream_) std::fprintf(stderr, "Failed to open log file: %s\n", path.c_str());
}

bool LogFile::is_open() const {
    std::lock_guard<std::mutex> g(lock_);
    return stream_ != nullptr;
}

// Called with lock_ held. The whole line is one write, then flushed; write errors (disk full)
// are left in the stream's state and the next line is tried as usual.
void LogFile::write_line(std::string_view before, const std::string& message,
                         std::string_view after) {
    std::string line;
    line.reserve(before.size() + message.size() + after.size());
    line += before;
    line += message;
    line += after;
    std::fwrite(line.data(), 1, line.size(), stream_);
    std::fflush(stream_);
}

void LogFile::WriteTagged(const char* tag, const char* fmt, ...) {
    std::lock_guard<std::mutex> g(lock_);
    if (!stream_) return;
    va_list args;
    va_start(args, fmt);
    std::string message = escape_html(format_message(fmt, args));
    va_end(args);
    std::string head = "<pre>[" + local_time_text() + "] [" + escape_html(tag ? tag : "") + "] ";
    write_line(head, message, "</pre>\n");
}

void LogFile::WriteInfo(const char* fmt, ...) {
    std::lock_guard<std::mutex> g(lock_);
    if (!stream_) return;
    va_list args;
    va_start(args, fmt);
    std::string message = format_message(fmt, args);
    va_end(args);
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on "[" + std::string&& here.
    std::string head = "[";
    head += local_time_text();
    head += "] [INFO] ";
    write_line(head, message, "\n");
}

}  // namespace quillon
