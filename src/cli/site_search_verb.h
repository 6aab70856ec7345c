// SPDX-License-Identifier: Apache-2.0
#pragma once
// quillon-cli search --devices-from FILE: the devices of a site list, each searched for at its
// address, told as found, not found or in conflict, before anybody upgrades them.
#include <string>
#include <vector>

#include "cli/site_search.h"

namespace quillon::cli {

struct SiteSearchRequest {
    std::string devices_from;  // the site list
    std::string adapter;       // empty: the default adapter
    bool json = false;
    int port = 8400;
};

// Exit code: 0 every listed device found as listed; 1 some not found or in conflict (or the
// search could not run); 2 a bad list or no such adapter.
int run_site_search(const SiteSearchRequest& request);

// The table or the JSON document of the outcome (also for the tests).
std::string site_checks_table(const std::vector<SiteCheck>& checks);
std::string site_checks_json(const std::vector<SiteCheck>& checks, const std::string& adapter,
                             const std::string& address);

}  // namespace quillon::cli
