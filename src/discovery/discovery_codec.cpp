// SPDX-License-Identifier: Apache-2.0
#include "discovery/discovery_codec.h"

#include <tinyxml.h>

#include <cstring>

#include "discovery/xml_path.h"

namespace quillon {

namespace {

constexpr const char* kDeclaration = "<?xml version=\"1.0\"?>";

// A parsed datagram. TinyXML reads a zero-terminated text, so the bytes are copied into a
// buffer of their own with a zero after them; a zero byte inside the datagram therefore ends
// the text there, as it would for any C string.
struct ParsedDatagram {
    TiXmlDocument doc;
    bool usable = false;
};

void parse_datagram(const char* data, std::size_t len, ParsedDatagram& out) {
    if (!data || len > kMaxDatagram) return;
    char buf[kMaxDatagram + 1];
    std::memcpy(buf, data, len);
    len = xml_parse_limit(buf, len);
    buf[len] = '\0';
    // The parser's error state is not consulted: elements read before a syntax error count.
    out.doc.Parse(buf, nullptr, TIXML_ENCODING_LEGACY);
    out.usable = true;
}

bool text_is(const TiXmlNode& doc, const char* path, const char* expected) {
    const char* t = text_at(&doc, path);
    return t && std::strcmp(t, expected) == 0;
}

std::optional<std::string> optional_text(const TiXmlNode& doc, const char* path) {
    const char* t = text_at(&doc, path);
    if (!t) return std::nullopt;
    return std::string(t);
}

std::string print(const TiXmlDocument& doc) {
    TiXmlPrinter printer;
    printer.SetIndent("\t");
    printer.SetLineBreak("\n");
    doc.Accept(&printer);
    return printer.Str();
}

}  // namespace

std::size_t xml_parse_limit(const char* data, std::size_t len) {
    // TinyXML parses every element by recursion, one level per nesting level, so nesting
    // costs stack. Nesting can never exceed the number of element starts, so capping those
    // caps the recursion without having to mirror TinyXML's tokenizer (comments, quoted
    // values, declarations) exactly. Counted generously: every "<" not followed by "/", "!"
    // or "?" may start an element.
    std::size_t starts = 0;
    for (std::size_t i = 0; i < len; ++i) {
        if (data[i] != '<') continue;
        char next = i + 1 < len ? data[i + 1] : '\0';
        if (next == '/' || next == '!' || next == '?') continue;
        if (++starts > kMaxElementStarts) return i;
    }
    return len;
}

std::string build_search_request() {
    TiXmlDocument doc;
    doc.Parse(kDeclaration, nullptr, TIXML_ENCODING_LEGACY);
    set_text_at(&doc, "/event/active", "search");
    set_text_at(&doc, "/event/type", "req");
    return print(doc);
}

std::optional<DiscoveryAnswer> evaluate_answer(const char* data, std::size_t len) {
    ParsedDatagram p;
    parse_datagram(data, len, p);
    if (!p.usable) return std::nullopt;
    if (!text_is(p.doc, "/event/active", "search")) return std::nullopt;
    if (!text_is(p.doc, "/event/type", "ack")) return std::nullopt;
    DiscoveryAnswer a;
    a.version = optional_text(p.doc, "/event/version");
    a.mac = optional_text(p.doc, "/event/mac");
    a.id = optional_text(p.doc, "/event/id");
    a.ip = optional_text(p.doc, "/event/ip");
    return a;
}

bool is_search_request(const char* data, std::size_t len) {
    ParsedDatagram p;
    parse_datagram(data, len, p);
    return p.usable && text_is(p.doc, "/event/active", "search") &&
           text_is(p.doc, "/event/type", "req");
}

std::string build_answer(const DiscoveryAnswer& answer) {
    TiXmlDocument doc;
    doc.Parse(kDeclaration, nullptr, TIXML_ENCODING_LEGACY);
    set_text_at(&doc, "/event/active", "search");
    set_text_at(&doc, "/event/type", "ack");
    if (answer.ip) set_text_at(&doc, "/event/ip", answer.ip->c_str());
    if (answer.id) set_text_at(&doc, "/event/id", answer.id->c_str());
    if (answer.mac) set_text_at(&doc, "/event/mac", answer.mac->c_str());
    if (answer.version) set_text_at(&doc, "/event/version", answer.version->c_str());
    return print(doc);
}

}  // namespace quillon
