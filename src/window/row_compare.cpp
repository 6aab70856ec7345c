// SPDX-License-Identifier: Apache-2.0
#include "window/row_compare.h"

#include <cctype>
#include <cstring>
#include <limits>

namespace quillon {

namespace {

// Reads one unsigned number in `base` at `pos`; returns false when no digit is there. The value
// wraps in 32 bits, as the unsigned comparison of the keys expects.
bool read_number(std::string_view s, std::size_t& pos, int base, uint32_t& out) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    uint32_t v = 0;
    std::size_t start = pos;
    while (pos < s.size()) {
        const unsigned char ch = static_cast<unsigned char>(s[pos]);
        int d;
        if (std::isdigit(ch))
            d = ch - '0';
        else if (base == 16 && std::isxdigit(ch))
            d = std::tolower(ch) - 'a' + 10;
        else
            break;
        v = v * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
        ++pos;
    }
    if (pos == start) return false;
    out = v;
    return true;
}

template <typename T>
int sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

long long id_key(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
    long long v = 0;
    constexpr long long kMax = std::numeric_limits<long long>::max() / 10 - 10;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
        if (v < kMax) v = v * 10 + (s[pos] - '0');  // saturate rather than overflow
        ++pos;
    }
    return negative ? -v : v;
}

uint32_t ip_key(std::string_view s) {
    uint32_t part[4] = {0, 0, 0, 0};
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (!read_number(s, pos, 10, part[i])) break;
        if (i < 3) {
            if (pos >= s.size()) break;
            ++pos;  // one separator character, whatever it is
        }
    }
    return part[0] * 16777216u + part[1] * 65536u + part[2] * 256u + part[3];
}

std::array<uint8_t, 6> mac_key(std::string_view s) {
    std::array<uint8_t, 6> key{};
    std::size_t pos = 0;
    for (int i = 0; i < 6; ++i) {
        uint32_t v = 0;
        if (!read_number(s, pos, 16, v)) break;
        key[i] = static_cast<uint8_t>(v & 0xFF);
        if (i < 5) {
            if (pos >= s.size()) break;
            ++pos;
        }
    }
    return key;
}

int compare_cells(std::string_view x, std::string_view y, int column, bool ascending) {
    int r;
    switch (column) {
        case 0: r = sign(id_key(x), id_key(y)); break;
        case 1: r = sign(ip_key(x), ip_key(y)); break;
        case 3: r = sign(mac_key(x), mac_key(y)); break;  // array compare: byte by byte, unsigned
        default: {
            const int c = x.compare(y);  // char_traits<char>::compare orders bytes as unsigned
            r = c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
    }
    return ascending ? r : -r;
}

}  // namespace quillon
