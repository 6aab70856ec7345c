// SPDX-License-Identifier: Apache-2.0
#include "platform/open_url.h"

#include <cctype>
#include <cstdint>

namespace quillon {
namespace {

bool starts_with_ci(const std::string& s, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= s.size() ||
            std::tolower(static_cast<unsigned char>(s[i])) != static_cast<unsigned char>(prefix[i]))
            return false;
    }
    return true;
}

bool ends_with_ci(const std::string& s, const char* tail) {
    const std::string t(tail);
    if (s.size() < t.size()) return false;
    return starts_with_ci(s.substr(s.size() - t.size()), tail);
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool valid_utf8(const std::string& s) {
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0)
            n = 1, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            n = 2, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            n = 3, cp = c & 0x07;
        else
            return false;
        if (s.size() - i <= n) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3F);
        }
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

}  // namespace

bool url_may_be_opened(const std::string& url) {
    for (char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F) return false;
    }
    for (const char* web : {"http://", "https://"}) {
        if (starts_with_ci(url, web)) {
            const std::string rest = url.substr(std::string(web).size());
            return !rest.empty() && rest[0] != '/';
        }
    }
    if (!starts_with_ci(url, "file://")) return false;
    const std::string path = file_url_path(url, false);
    return ends_with_ci(path, ".html") || ends_with_ci(path, ".htm");
}

std::string file_url_path(const std::string& url, bool windows) {
    if (!starts_with_ci(url, "file://")) return {};
    std::string rest = url.substr(7);
    const auto end = rest.find_first_of("?#");
    if (end != std::string::npos) rest.resize(end);
    const auto slash = rest.find('/');
    std::string host = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? std::string() : rest.substr(slash);
    if (starts_with_ci(host, "localhost") && host.size() == 9) host.clear();
    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() && hex_value(path[i + 1]) >= 0 &&
            hex_value(path[i + 2]) >= 0) {
            decoded += static_cast<char>(hex_value(path[i + 1]) * 16 + hex_value(path[i + 2]));
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    if (decoded.empty() || decoded.find('\0') != std::string::npos || !valid_utf8(decoded))
        return {};
    if (!windows) return host.empty() ? decoded : std::string();
    if (host.empty()) {
        // "/C:/dir/x.html": the drive follows the first slash.
        if (decoded.size() < 3 || decoded[0] != '/' ||
            !std::isalpha(static_cast<unsigned char>(decoded[1])) || decoded[2] != ':')
            return {};
        decoded.erase(0, 1);
    } else {
        decoded = "//" + host + decoded;
    }
    for (char& c : decoded)
        if (c == '/') c = '\\';
    return decoded;
}

}  // namespace quillon
