// SPDX-License-Identifier: Apache-2.0
#include "cli/upgrade_options.h"

#include "platform/ipv4.h"

namespace quillon::cli {
namespace {

// The address in host byte order.
std::optional<uint32_t> parse_host_order(const std::string& text) {
    const std::optional<Ipv4> a = quillon::parse_ipv4(text);
    if (!a) return std::nullopt;
    return net_to_host32(a->net);
}

}  // namespace

bool is_host_address(const std::string& text) {
    const auto a = parse_host_order(text);
    return a && *a != 0 && *a != 0xFFFFFFFFu;
}

std::optional<AddressRange> parse_range(const std::string& text, std::string& error) {
    const auto dash = text.find('-');
    if (dash == std::string::npos) {
        error = "a range is written A.B.C.D-E (for example 192.168.1.10-50)";
        return std::nullopt;
    }
    const auto first = parse_host_order(text.substr(0, dash));
    if (!first) {
        error = std::string("'").append(text, 0, dash).append("' is not an IPv4 address");
        return std::nullopt;
    }
    const std::string tail = text.substr(dash + 1);
    int end = -1;
    if (tail.find('.') != std::string::npos) {
        const auto last = parse_host_order(tail);
        if (!last) {
            error = "'" + tail + "' is not an IPv4 address";
            return std::nullopt;
        }
        if ((*last >> 8) != (*first >> 8)) {
            error = "both ends of the range must share their first three numbers";
            return std::nullopt;
        }
        end = int(*last & 0xFF);
    } else {
        if (tail.empty() || tail.size() > 3 ||
            tail.find_first_not_of("0123456789") != std::string::npos) {
            error = "'" + tail + "' is not the last number of an address";
            return std::nullopt;
        }
        end = std::stoi(tail);
    }
    const int begin = int(*first & 0xFF);
    if (begin == 0 || end > 254 || end < begin) {
        error = "the range must run from a last number of 1 or more up to at most 254";
        return std::nullopt;
    }
    return AddressRange{*first, end};
}

}  // namespace quillon::cli
