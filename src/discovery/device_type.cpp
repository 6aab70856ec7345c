// SPDX-License-Identifier: Apache-2.0
#include "discovery/device_type.h"

#include <cstdio>
#include <limits>

namespace quillon {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::uint64_t devid_leading_value(std::string_view id) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t v = 0;
    for (char c : id) {
        if (!is_digit(c)) break;
        const auto d = static_cast<std::uint64_t>(c - '0');
        if (v > (kMax - d) / 10) return kMax;  // more digits can only make it larger
        v = v * 10 + d;
    }
    return v;
}

int device_type_code(std::string_view id) {
    if (id.empty() || !is_digit(id.front())) return kTypeLift;
    const std::uint64_t v = devid_leading_value(id);
    if (v <= 30000) {
        if (v <= 10000) return kTypeOther;
        switch (v / 10000) {
            case 1: return kTypeCenter;
            case 2: return kTypeWall;
            default: return kTypeOther;  // only 30000 itself
        }
    }
    if (v > 1'000'000'000'000ULL) return kTypeOther;
    if (v > 10'000'000'000ULL) return kTypePerson;
    if ((v % 10000) / 100 == 99) return kTypePanel;
    return kTypeMonitor;
}

TextId device_type_text_id(int code) {
    switch (code) {
        case kTypePanel: return TextId::type_panel;
        case kTypeWall: return TextId::type_wall;
        case kTypePerson: return TextId::type_person;
        case kTypeCenter: return TextId::type_center;
        case kTypeMonitor: return TextId::type_monitor;
        case kTypeLift: return TextId::type_lift;
        default: return TextId::type_other;
    }
}

std::string device_type_name(int code) { return T(device_type_text_id(code)); }

std::string format_devid(std::string_view id) {
    const int code = device_type_code(id);
    // The branches below rely on the ranges device_type_code gives each code, so every printed
    // field is small: PANEL v <= 10^10, PERSON 10^10 < v <= 10^12.
    const std::uint64_t v = devid_leading_value(id);
    char buf[32];
    switch (code) {
        case kTypePanel:
            std::snprintf(buf, sizeof buf, "%02u-%02u", static_cast<unsigned>(v / 1'000'000),
                          static_cast<unsigned>((v % 1'000'000) / 10'000));
            return buf;
        case kTypePerson:
            // The last field is left-aligned in two characters: "1" becomes "1 ".
            std::snprintf(buf, sizeof buf, "%04u-%02u-%02u%-2u",
                          static_cast<unsigned>((v % 1'000'000'000) / 1'000'000),
                          static_cast<unsigned>((v % 1'000'000) / 10'000),
                          static_cast<unsigned>((v % 10'000) / 100),
                          static_cast<unsigned>(v % 100));
            return buf;
        case kTypeMonitor: {
            // Four fields of up to two digits read one after the other from the id's leading
            // digits; a field the text does not supply is 0 ("1010101" -> 10 10 10 1).
            unsigned field[4] = {0, 0, 0, 0};
            std::size_t pos = 0;
            for (unsigned& f : field) {
                for (int k = 0; k < 2 && pos < id.size() && is_digit(id[pos]); ++k, ++pos)
                    f = f * 10 + static_cast<unsigned>(id[pos] - '0');
                if (pos < id.size() && !is_digit(id[pos])) break;
            }
            std::snprintf(buf, sizeof buf, "%02u-%02u-%02u%02u", field[0], field[1], field[2],
                          field[3]);
            return buf;
        }
        default: return std::string(id);
    }
}

}  // namespace quillon
