// SPDX-License-Identifier: Apache-2.0
#include "cli/site_list.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "cli/text_out.h"
#include "cli/upgrade_options.h"
#include "platform/files.h"

namespace quillon::cli {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

std::string lower_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

// A value from the file, quoted in a message: harmless for a terminal and short.
std::string shown(std::string_view value) {
    constexpr std::size_t kMax = 60;
    std::string out = "'" + terminal_text(value.substr(0, kMax));
    if (value.size() > kMax) out += "...";
    return out + "'";
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Whether `s` is UTF-8 text without control characters (C0, DEL, C1): what a name may hold.
// `why` tells which of the two it is not.
bool is_plain_text(std::string_view s, std::string& why) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        uint32_t cp = 0;
        std::size_t len = 0;
        if (b < 0x80)
            cp = b, len = 1;
        else if (b >= 0xC2 && b <= 0xDF)
            cp = b & 0x1Fu, len = 2;
        else if (b >= 0xE0 && b <= 0xEF)
            cp = b & 0x0Fu, len = 3;
        else if (b >= 0xF0 && b <= 0xF4)
            cp = b & 0x07u, len = 4;
        else {
            why = "is not UTF-8 text (save the list as UTF-8)";
            return false;
        }
        if (i + len > s.size()) {
            why = "is not UTF-8 text (save the list as UTF-8)";
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) {
                why = "is not UTF-8 text (save the list as UTF-8)";
                return false;
            }
            cp = (cp << 6) | (c & 0x3Fu);
        }
        // Overlong forms, surrogates and code points beyond U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            why = "is not UTF-8 text (save the list as UTF-8)";
            return false;
        }
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            why = "holds a control character";
            return false;
        }
        i += len;
    }
    return true;
}

// The fields of one CSV line: separated by `sep` (',', or ';' as spreadsheets write CSV where the
// comma is the decimal mark), blanks around a field dropped, a field in double quotes may hold
// `sep` and '""' (a quote). A quoted field ends on its own line: a site list has no use for line
// breaks inside a name, and a stray quote would otherwise swallow the rest of the file.
bool split_csv(std::string_view line, char sep, std::vector<std::string>& fields,
               std::string& why) {
    fields.clear();
    std::size_t pos = 0;
    for (;;) {
        while (pos < line.size() && is_blank(line[pos])) ++pos;
        std::string field;
        if (pos < line.size() && line[pos] == '"') {
            ++pos;
            for (;;) {
                if (pos >= line.size()) {
                    why = "a quoted field is not closed on its line";
                    return false;
                }
                if (line[pos] == '"') {
                    if (pos + 1 < line.size() && line[pos + 1] == '"') {
                        field += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field += line[pos++];
            }
            while (pos < line.size() && is_blank(line[pos])) ++pos;
            if (pos < line.size() && line[pos] != sep) {
                why = "text after the closing quote of a field";
                return false;
            }
        } else {
            const std::size_t end = std::min(line.find(sep, pos), line.size());
            const std::string_view raw = trim(line.substr(pos, end - pos));
            if (raw.find('"') != std::string_view::npos) {
                why = "a quote inside a field that does not begin with one";
                return false;
            }
            field.assign(raw);
            pos = end;
        }
        fields.push_back(std::move(field));
        if (pos >= line.size()) return true;
        ++pos;  // the separator
    }
}

struct Columns {
    char sep = ',';
    std::size_t ip = 0;
    std::optional<std::size_t> mac, name;
    std::size_t count = 0;
};

// The header's columns, when `fields` name an `ip` column; `why` set when they name one twice.
std::optional<Columns> header_columns(const std::vector<std::string>& fields, std::string& why) {
    Columns c;
    c.count = fields.size();
    std::optional<std::size_t> ip;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string n = lower_ascii(fields[i]);
        std::optional<std::size_t>* slot = n == "ip"     ? &ip
                                           : n == "mac"  ? &c.mac
                                           : n == "name" ? &c.name
                                                         : nullptr;
        if (!slot) continue;
        if (*slot) {
            why = "the header has two " + n + " columns";
            return std::nullopt;
        }
        *slot = i;
    }
    if (!ip) return std::nullopt;
    c.ip = *ip;
    return c;
}

class Reader {
public:
    Reader(const std::string& file, std::vector<SiteDevice>& out, std::string& error)
        : file_(file), out_(out), error_(error) {}

    bool read(std::string_view text);

private:
    bool fail(int line, const std::string& why) {
        error_ = file_ + ":" + std::to_string(line) + ": " + why;
        return false;
    }
    bool line(int number, std::string_view text);
    bool add(int number, std::string_view ip, std::string_view mac, std::string_view name);

    const std::string& file_;
    std::vector<SiteDevice>& out_;
    std::string& error_;
    bool seen_first_ = false;
    std::optional<Columns> csv_;
    std::map<std::string, int> ip_line_, mac_line_;
};

bool Reader::read(std::string_view text) {
    out_.clear();
    if (text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        error_ = file_ + ": UTF-16 text: save the list as UTF-8 (\"CSV UTF-8\")";
        return false;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);  // the mark some editors write first
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t nl = text.find('\n');
        std::string_view l = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (!line(number, l)) return false;
    }
    if (out_.empty()) {
        error_ = file_ + ": no device listed";
        return false;
    }
    return true;
}

bool Reader::line(int number, std::string_view text) {
    if (text.size() > kSiteListMaxLine)
        return fail(number, "a line longer than " + std::to_string(kSiteListMaxLine) + " bytes");
    if (text.find('\0') != std::string_view::npos)
        return fail(number, "a NUL byte: this is no text file");
    if (text.find('\r') != std::string_view::npos)
        return fail(number, "a CR inside a line (lines must end with LF or CR LF)");
    const std::string_view content = trim(text);
    if (content.empty()) return true;
    if (content.front() == '#') {
        // A name first in a row may begin with '#' too: a row that holds a device is not skipped
        // in silence.
        std::vector<std::string> fields;
        std::string why;
        if (csv_ && split_csv(content, csv_->sep, fields, why) && csv_->ip < fields.size() &&
            is_host_address(fields[csv_->ip]))
            return fail(number,
                        "a line that begins with '#' is a comment, but this one lists a device "
                        "(quote a name that begins with '#')");
        return true;
    }

    if (!seen_first_) {
        seen_first_ = true;
        for (const char sep : {',', ';'}) {
            std::vector<std::string> fields;
            std::string why;
            if (!split_csv(content, sep, fields, why)) continue;
            csv_ = header_columns(fields, why);
            if (!why.empty()) return fail(number, why);
            if (csv_) {
                csv_->sep = sep;
                return true;
            }
        }
        if (content.find('\t') != std::string_view::npos &&
            content.find_first_of(",;") == std::string_view::npos)
            return fail(number, "tab-separated text: save the list as CSV (comma-separated)");
        if (content.find_first_of(",;\"") != std::string_view::npos)
            return fail(
                number,
                "a CSV needs a header line with an ip column (and optional mac and name columns) first");
    }
    if (!csv_) {
        // A plain list: an address and nothing else, maybe followed by a comment.
        std::string_view ip = trim(content.substr(0, content.find('#')));
        if (ip.find_first_of(" \t") != std::string_view::npos)
            return fail(number,
                        "one address a line: " + shown(ip) +
                            " (for MACs and names use a CSV with a header line ip,mac,name)");
        return add(number, ip, {}, {});
    }
    std::vector<std::string> fields;
    std::string why;
    if (!split_csv(content, csv_->sep, fields, why)) return fail(number, why);
    if (fields.size() > csv_->count)
        return fail(number, std::to_string(fields.size()) + " fields but the header has " +
                                std::to_string(csv_->count) + " (a " +
                                (csv_->sep == ',' ? "comma" : "semicolon") +
                                " inside a name needs quotes)");
    auto field = [&](std::optional<std::size_t> i) {
        return i && *i < fields.size() ? std::string_view(fields[*i]) : std::string_view();
    };
    return add(number, field(csv_->ip), field(csv_->mac), field(csv_->name));
}

bool Reader::add(int number, std::string_view ip, std::string_view mac, std::string_view name) {
    if (ip.empty()) return fail(number, "no address in the ip column");
    const std::string ip_text(ip);
    if (!is_host_address(ip_text))
        return fail(number, shown(ip) + " is not the IPv4 address of a host");
    SiteDevice d;
    d.ip = ip_text;
    d.line = number;
    if (!mac.empty()) {
        d.mac = normalise_mac(mac);
        if (d.mac.empty())
            return fail(
                number,
                shown(mac) +
                    " is not a device's MAC (six pairs of hex digits, such as 02:51:C6:12:00:0A)");
    }
    std::string why;
    if (!is_plain_text(name, why)) return fail(number, "the name " + why);
    d.name.assign(name);
    if (auto [it, fresh] = ip_line_.emplace(d.ip, number); !fresh)
        return fail(number, d.ip + " is listed twice, on lines " + std::to_string(it->second) +
                                " and " + std::to_string(number));
    if (!d.mac.empty())
        if (auto [it, fresh] = mac_line_.emplace(d.mac, number); !fresh)
            return fail(number, "MAC " + d.mac + " is listed twice, on lines " +
                                    std::to_string(it->second) + " and " + std::to_string(number));
    if (out_.size() >= kSiteListMaxDevices)
        return fail(number, "more than " + std::to_string(kSiteListMaxDevices) + " devices");
    out_.push_back(std::move(d));
    return true;
}

}  // namespace

std::string normalise_mac(std::string_view text) {
    std::string digits;
    if (text.size() == 17) {
        const char sep = text[2];
        if (sep != ':' && sep != '-') return {};
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i % 3 == 2) {
                if (text[i] != sep) return {};
            } else {
                digits += text[i];
            }
        }
    } else if (text.size() == 12) {
        digits.assign(text);
    } else {
        return {};
    }
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const int v = hex_value(digits[i]);
        if (v < 0) return {};
        if (i && i % 2 == 0) out += ':';
        out += "0123456789ABCDEF"[v];
    }
    if (out == "00:00:00:00:00:00" || out == "FF:FF:FF:FF:FF:FF") return {};
    return out;
}

bool parse_site_list(std::string_view text, const std::string& file, std::vector<SiteDevice>& out,
                     std::string& error) {
    Reader r(file, out, error);
    return r.read(text);
}

bool read_site_list(const std::string& path, std::vector<SiteDevice>& out, std::string& error) {
    out.clear();
    ReadOnlyFile f(path);
    if (!f.valid()) {
        error = path + ": cannot be read: " + last_file_error_text();
        return false;
    }
    uint64_t size = 0;
    if (!f.regular_size(size)) {
        error = path + ": not a file";
        return false;
    }
    if (size > kSiteListMaxBytes) {
        error = path + ": larger than " + std::to_string(kSiteListMaxBytes / (1024 * 1024)) +
                " MiB; a site list holds one short line per device";
        return false;
    }
    std::string text(std::size_t(size), '\0');
    if (size > 0 && !f.read_at(text.data(), text.size(), 0)) {
        error = path + ": cannot be read: " + last_file_error_text();
        return false;
    }
    return parse_site_list(text, path, out, error);
}

}  // namespace quillon::cli
