// SPDX-License-Identifier: Apache-2.0
#pragma once
// A test's look at a headless window's cells from its own thread: each read or write runs on the
// window's thread, through the device table, as the window's own commands do.
#include <string>

#include "window/headless_window.h"

namespace quillon::test {

inline std::string cell_of(HeadlessWindow& w, int row, int col) {
    std::string text;
    w.run([&] { text = w.device_table().get_cell(row, col); });
    return text;
}

inline void set_cell_of(HeadlessWindow& w, int row, int col, const std::string& text) {
    w.run([&] { w.device_table().set_cell(row, col, text); });
}

inline int tag_of(HeadlessWindow& w, int row) {
    int tag = kNoWorker;
    w.run([&] { tag = w.device_table().get_tag(row); });
    return tag;
}

}  // namespace quillon::test
