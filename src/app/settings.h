// SPDX-License-Identifier: Apache-2.0
#pragma once
// What start-up decides from the working directory: marker files and "config.ini".
#include <string>

namespace quillon {

struct Settings {
    bool use_english = false;  // forced English (marker "test_language" or language=en)
    bool debug = false;        // debug mode: device log and debug log are written
    bool fake_burn = false;    // devices get the simulated upgrade instead of the real one
    int come_back = 300;  // seconds a device may take to come back after its reboot; 0 = no check
    std::string language = "ch";  // the "language" value as read
    bool debug_marker = false;    // "test_debug" was present (see load_settings)
    bool fake_marker = false;     // "test_fake" was present
};

// Reads the markers and [Settings] of <dir>/config.ini. Never fails: a missing or unreadable
// file, or a missing key, gives the defaults ("ch", 0, 0).
Settings load_settings(const std::string& dir);

}  // namespace quillon
