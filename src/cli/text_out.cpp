// SPDX-License-Identifier: Apache-2.0
#include "cli/text_out.h"

#include <cstdint>
#include <cstdio>

namespace quillon::cli {

namespace {

// Decodes one UTF-8 character at `pos` and advances past it. -1 for a byte that does not
// start a valid, shortest-form character of at most U+10FFFF outside the surrogates (then
// `pos` moves by one byte).
int32_t next_code_point(std::string_view s, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(pos);
    int len = 0;
    int32_t cp = 0;
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    if (b0 >= 0xc2 && b0 <= 0xdf) {
        len = 2;
        cp = b0 & 0x1f;
    } else if (b0 >= 0xe0 && b0 <= 0xef) {
        len = 3;
        cp = b0 & 0x0f;
    } else if (b0 >= 0xf0 && b0 <= 0xf4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        ++pos;
        return -1;
    }
    if (pos + len > s.size()) {
        ++pos;
        return -1;
    }
    for (int i = 1; i < len; ++i) {
        const unsigned char b = byte(pos + i);
        if ((b & 0xc0) != 0x80) {
            ++pos;
            return -1;
        }
        cp = (cp << 6) | (b & 0x3f);
    }
    const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
        ++pos;
        return -1;
    }
    pos += len;
    return cp;
}

bool is_control(int32_t cp) { return cp < 0x20 || (cp >= 0x7f && cp <= 0x9f); }

}  // namespace

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const int32_t cp = next_code_point(text, pos);
        if (cp < 0) {
            out += "\xef\xbf\xbd";
            continue;
        }
        switch (cp) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (cp < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
                    out += buf;
                } else {
                    out.append(text.substr(start, pos - start));
                }
        }
    }
    out += '"';
    return out;
}

std::string terminal_text(std::string_view text) {
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const int32_t cp = next_code_point(text, pos);
        if (cp < 0 || is_control(cp))
            out += '?';
        else
            out.append(text.substr(start, pos - start));
    }
    return out;
}

std::size_t display_width(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text) n += (c & 0xc0) != 0x80;
    return n;
}

}  // namespace quillon::cli
