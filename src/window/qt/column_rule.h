// SPDX-License-Identifier: Apache-2.0
#pragma once
// Widths of the device list's ten columns for a list client width.
#include <array>

namespace quillon {

inline constexpr int kColumns = 10;

// Each column gets its fraction of `width` (truncated to whole pixels); with `capped`, no more than
// its cap. Start-up uses the plain fractions, every later size change the capped ones.
std::array<int, kColumns> column_widths(int width, bool capped);

}  // namespace quillon
