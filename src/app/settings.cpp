// SPDX-License-Identifier: Apache-2.0
#include "app/settings.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/ini_file.h"

namespace quillon {

namespace {

bool exists(const std::string& path) {
    return path_exists(path);  // a file or a folder, whatever its content
}

std::string in_dir(const std::string& dir, const char* name) {
    // No directory (the working directory could not be read): the name stays relative to it,
    // and is not looked for at the root.
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace

Settings load_settings(const std::string& dir) {
    Settings s;
    if (exists(in_dir(dir, "test_language"))) s.use_english = true;

    // The markers "test_debug" and "test_fake" are looked at first and then overruled by the
    // keys "debug" and "fake_burn", which count as 0 when missing. So a marker alone switches
    // nothing on: the modes are decided by config.ini only, as installers already know it.
    // The markers are still recorded so that start-up can mention them in the debug output.
    s.debug_marker = exists(in_dir(dir, "test_debug"));
    s.fake_marker = exists(in_dir(dir, "test_fake"));
    s.debug = s.debug_marker;
    s.fake_burn = s.fake_marker;

    // The path has no length limit here: a long working directory still finds its settings.
    IniFile ini = IniFile::load(in_dir(dir, "config.ini"));
    s.language = ini.get_string("Settings", "language", "ch");
    if (s.language == "en") s.use_english = true;  // case-sensitive: "EN" forces nothing
    s.debug = ini.get_int("Settings", "debug", 0) != 0;
    s.fake_burn = ini.get_int("Settings", "fake_burn", 0) != 0;
    // Beyond a day nobody waits at a site; a negative value is taken as no check.
    s.come_back = std::clamp(ini.get_int("Settings", "come_back", 300), 0, 86400);
    return s;
}

}  // namespace quillon
