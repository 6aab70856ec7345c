// SPDX-License-Identifier: Apache-2.0
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

// Most element starts read from one datagram. TinyXML recurses once per nesting level, and
// nesting never exceeds the number of element starts, so this caps the parser's stack use.
// A datagram with more is read only up to the start that exceeds the cap, as if it had a
// syntax error there: the elements before it still count. A real answer has about a dozen.
constexpr std::size_t kMaxElementStarts = 128;

struct DiscoveryAnswer {
    std::optional<std::string> ip, id, mac, version;  // empty optional: element missing
};

// The 83-byte request document (no terminating zero).
std::string build_search_request();

// An answer when the datagram's /event/active is "search" and /event/type is "ack"; nothing
// otherwise (not XML, other texts, longer than kMaxDatagram). The texts are compared
// exactly. The datagram is read as a zero-terminated text in TinyXML's legacy (byte-wise)
// encoding: a zero byte ends it, and elements read before a syntax error count.
std::optional<DiscoveryAnswer> evaluate_answer(const char* data, std::size_t len);

// True when the datagram is a search request (/event/active "search", /event/type "req").
bool is_search_request(const char* data, std::size_t len);

// The acknowledgement a device sends back; absent fields are left out of the document. An
// empty text is written as an empty element, which reads back as absent. The caller keeps
// the result within kMaxDatagram if the tool is to read it.
std::string build_answer(const DiscoveryAnswer& answer);

// How many of the first `len` bytes the parser is given: all of them, or fewer when the
// datagram has more than kMaxElementStarts element starts (see there).
std::size_t xml_parse_limit(const char* data, std::size_t len);

}  // namespace quillon
