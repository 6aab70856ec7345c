#pragma once
// The discovery documents, without sockets: the search request, the evaluation of a received
// datagram, and (for the simulator) the devices' acknowledgement. Shared by the tool and
// quillon-devsim.
#include <cstddef>
#include <optional>
#include <string>

namespace quillon {

// Largest datagram that is evaluated; a longer one is dropped whole.
constexpr std::size_t kMaxDatagram = 2047;

struct DiscoveryAnswer {
    std::optional<std::string> ip, id, mac, version;  // empty optional: element missing
};

// The 83-byte request document (no terminating zero).
std::string build_search_request();

// An answer when the datagram's /event/active is "search" and /event/type is "ack"; nothing
// otherwise (not XML, other texts, longer than kMaxDatagram).
std::optional<DiscoveryAnswer> evaluate_answer(const char* data, std::size_t len);

// True when the datagram is a search request (/event/active "search", /event/type "req").
bool is_search_request(const char* data, std::size_t len);

// The acknowledgement a device sends back; absent fields are left out of the document.
std::string build_answer(const DiscoveryAnswer& answer);

}  // namespace quillon
