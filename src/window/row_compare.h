// SPDX-License-Identifier: Apache-2.0
#pragma once
// Sort keys and the comparison of two rows of the device list by one column.
#include <array>
#include <cstdint>
#include <string_view>

namespace quillon {

// Integer value of the leading decimal digits (after blanks and a sign), 0 for none.
long long id_key(std::string_view text);
// Four decimal numbers, each but the last followed by one separator character, as
// a*16777216 + b*65536 + c*256 + d in unsigned 32 bits. Parts after a parse failure count as 0.
uint32_t ip_key(std::string_view text);
// Six hexadecimal numbers separated by exactly one character each, each cut to its low 8 bits.
std::array<uint8_t, 6> mac_key(std::string_view text);

// Negative when x goes first, positive when y goes first, 0 when the keys are equal. Column 0 is
// compared by id_key, 1 by ip_key, 3 by mac_key, every other column by the bytes of the texts.
int compare_cells(std::string_view x, std::string_view y, int column, bool ascending);

}  // namespace quillon
