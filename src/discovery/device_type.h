// SPDX-License-Identifier: Apache-2.0
#pragma once
// Device types derived from the id a device reports in its discovery answer, the type name shown
// in the TYPE column and the type filter, and the display form of the id (DEVID column).
//
// Ids are untrusted texts from the network: every function accepts any bytes of any length,
// and a null pointer is read as an empty id.
#include <cstdint>
#include <string>
#include <string_view>

#include "texts/ui_texts.h"

namespace quillon {

enum DeviceTypeCode : int {
    kTypePanel = 0,
    kTypeWall = 1,
    kTypePerson = 2,
    kTypeCenter = 3,
    kTypeMonitor = 4,
    kTypeLift = 5,
    kTypeOther = 255,
};

// The value of the decimal digits at the start of `id` (0 when it starts with anything else).
// An id whose leading digits exceed 64 bits saturates at UINT64_MAX instead of wrapping: every
// value above 10^12 classifies the same way, so the type of such an id is the one its exact
// value would give.
std::uint64_t devid_leading_value(std::string_view id);

// 0..5 or 255. An id that does not start with a decimal digit (an empty one too) is 5.
int device_type_code(std::string_view id);
inline int device_type_code(const char* id) {
    return device_type_code(id ? std::string_view(id) : std::string_view());
}

// Which entry of the text table names a type code; an unknown code is named as OTHER.
TextId device_type_text_id(int code);
// The type name in the current language (taken from ui_texts()).
std::string device_type_name(int code);

// The DEVID column's text: "%02d-%02d" for PANEL, "%04d-%02d-%02d%-2d" for PERSON,
// "%02d-%02d-%02d%02d" for MONITOR, the id unchanged for every other type.
std::string format_devid(std::string_view id);
inline std::string format_devid(const char* id) {
    return format_devid(id ? std::string_view(id) : std::string_view());
}

}  // namespace quillon
