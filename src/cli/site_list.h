// SPDX-License-Identifier: Apache-2.0
#pragma once
// A site list (quillon-cli upgrade --devices-from FILE): the devices of a site plan, read before
// anything is sent. Either one address a line, or a CSV whose header line has an `ip` column and
// may have `mac` and `name` columns (any order, other columns ignored, fields quoted CSV-style).
// Blank lines and lines starting with '#' are skipped. The whole file is refused at its first bad
// line, with the file, the line number and the reason.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::cli {

struct SiteDevice {
    std::string ip;
    std::string mac;   // upper case, colon-separated ("02:51:C6:12:00:0A"); empty when not given
    std::string name;  // as written in the file (UTF-8); empty when not given
    int line = 0;      // the line of the file it came from, from 1
};

// Bounds that keep a hostile or mistaken file (a firmware image given by mistake, a log) from
// costing more than a clear refusal.
constexpr std::size_t kSiteListMaxBytes = 4u * 1024 * 1024;
constexpr std::size_t kSiteListMaxLine = 4096;
constexpr std::size_t kSiteListMaxDevices = 65536;

// Reads the text of a site list; `file` names it in the error, which reads "FILE:LINE: why"
// (or "FILE: why" for the file as a whole). False with `error` set on the first bad line.
bool parse_site_list(std::string_view text, const std::string& file, std::vector<SiteDevice>& out,
                     std::string& error);

// The same for the file `path`.
bool read_site_list(const std::string& path, std::vector<SiteDevice>& out, std::string& error);

// A MAC written as six pairs of hex digits separated by ':' or '-' (one kind throughout), or as
// twelve hex digits, in the upper-case colon form; empty for any other text, and for the MACs
// no device has (all zeros, broadcast). Also used to compare the MAC a device answers with.
std::string normalise_mac(std::string_view text);

}  // namespace quillon::cli
