// SPDX-License-Identifier: Apache-2.0
#include "platform/run_program.h"

namespace quillon {
namespace {

void append_quoted(const std::string& arg, std::string& out) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        out += arg;
        return;
    }
    out += '"';
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count as escapes only right before a quote: there they are doubled, and
        // the quote itself gets one more.
        if (c == '"')
            out.append(backslashes * 2 + 1, '\\');
        else
            out.append(backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    // Before the closing quote as well.
    out.append(backslashes * 2, '\\');
    out += '"';
}

}  // namespace

bool detail::is_dotted_ipv4(const std::string& text) {
    int parts = 0;
    std::size_t i = 0;
    while (i <= text.size()) {
        std::size_t j = i;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
        const std::size_t len = j - i;
        if (len == 0 || len > 3 || (len > 1 && text[i] == '0')) return false;
        if (std::stoi(text.substr(i, len)) > 255) return false;
        ++parts;
        if (j == text.size()) break;
        if (text[j] != '.' || parts == 4) return false;
        i = j + 1;
    }
    return parts == 4;
}

bool windows_command_line(const std::vector<std::string>& argv, std::string& out) {
    out.clear();
    if (argv.empty()) return false;
    for (const auto& a : argv)
        if (a.find('\0') != std::string::npos) return false;
    // The program name is read up to the next quote, with no escapes at all.
    if (argv[0].find('"') != std::string::npos) return false;
    out = '"' + argv[0] + '"';
    for (std::size_t i = 1; i < argv.size(); ++i) {
        out += ' ';
        append_quoted(argv[i], out);
    }
    return true;
}

}  // namespace quillon
