// SPDX-License-Identifier: Apache-2.0
#include "window/qt/column_rule.h"

#include <algorithm>

namespace quillon {

namespace {
// In hundredths, so that 0.19 x 500 is exactly 95 and not 94.99999 truncated to 94.
constexpr int kPercent[kColumns] = {8, 19, 16, 21, 13, 15, 9, 10, 22, 40};
constexpr int kCap[kColumns] = {60, 130, 100, 130, 100, 100, 60, 70, 140, 300};
}  // namespace

std::array<int, kColumns> column_widths(int width, bool capped) {
    std::array<int, kColumns> w{};
    const long long base = std::max(width, 0);
    for (int c = 0; c < kColumns; ++c) {
        long long px = base * kPercent[c] / 100;
        if (capped) px = std::min<long long>(px, kCap[c]);
        w[c] = static_cast<int>(px);
    }
    return w;
}

}  // namespace quillon
