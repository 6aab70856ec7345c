// SPDX-License-Identifier: Apache-2.0
// libFuzzer target: any bytes as config.ini. The text is read by IniFile::parse and, written into
// a folder, by load_settings as start-up does. Besides the sanitizers' findings it aborts when
// the two readings disagree, when a key is reported that no line of the file sets, when a
// setting does not follow the value read for its key, or when an integer is not the value of
// its leading digits (held at the ends of int when too large).
#include <strings.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <cstdint>
#include <string>

#include "app/settings.h"
#include "fuzz_support.h"
#include "platform/ini_file.h"

namespace {

using quillon::fuzz::check;

// The integer rule, computed another way: the leading digit run through from_chars, which
// reports overflow instead of saturating.
int reference_int(const std::string& text) {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) return 0;
    const bool negative = text[i] == '-';
    if (negative) ++i;
    std::size_t end = i;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (end == i) return 0;
    long long v = 0;
    const auto r = std::from_chars(text.data() + i, text.data() + end, v);
    const bool huge = r.ec == std::errc::result_out_of_range;
    if (negative) return huge || -v < INT_MIN ? INT_MIN : int(-v);
    return huge || v > INT_MAX ? INT_MAX : int(v);
}

// True when some line of the text starts (after blanks) with `key` in any case, followed by
// white space and '=' or ':': every key the reader reports must have been written as one.
bool written_as_line(const std::string& text, const std::string& key) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t i = start;
        while (i < end && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        if (end - i > key.size() && strncasecmp(text.data() + i, key.data(), key.size()) == 0) {
            std::size_t j = i + key.size();
            while (j < end && std::isspace(static_cast<unsigned char>(text[j]))) ++j;
            if (j < end && (text[j] == '=' || text[j] == ':')) return true;
        }
        start = end + 1;
    }
    return false;
}

quillon::fuzz::ScratchDir& scratch() {
    static quillon::fuzz::ScratchDir dir("quillon-settings-fuzz");
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const quillon::IniFile parsed = quillon::IniFile::parse(text);
    quillon::fuzz::write_new_file(scratch() / "config.ini", text.data(), text.size());
    const quillon::IniFile loaded = quillon::IniFile::load(scratch() / "config.ini");
    const quillon::Settings s = quillon::load_settings(scratch().path());

    // A zero byte ends the text in memory but not the file; without one both read the same.
    const bool comparable = text.find('\0') == std::string::npos;
    for (const char* key : {"language", "debug", "fake_burn"}) {
        const std::string value = loaded.get_string("settings", key, "\x01missing");
        if (comparable) {
            check(parsed.get_string("Settings", key, "\x01missing") == value,
                  "text and file readings differ");
        }
        if (value != "\x01missing") {
            check(written_as_line(text, key), "a setting that no line of the file sets");
            check(loaded.get_int("SETTINGS", key, 12345) == reference_int(value),
                  "integer is not the value of the leading digits");
        }
    }
    check(s.language == loaded.get_string("Settings", "language", "ch"), "language differs");
    check(s.use_english == (s.language == "en"), "English without \"en\" or markers");
    check(s.debug == (loaded.get_int("Settings", "debug", 0) != 0), "debug mode differs");
    check(s.fake_burn == (loaded.get_int("Settings", "fake_burn", 0) != 0),
          "fake-burn mode differs");
    return 0;
}
