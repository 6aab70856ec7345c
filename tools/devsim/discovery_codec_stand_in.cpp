// TEMPORARY: stands in for the discovery codec until it is merged; removed before the branch lands.
#include <tinyxml.h>

#include "discovery/discovery_codec.h"

namespace quillon {
namespace {
const char* text_of(TiXmlDocument& doc, const char* name) {
    TiXmlElement* ev = doc.FirstChildElement("event");
    if (!ev) return nullptr;
    TiXmlElement* e = ev->FirstChildElement(name);
    if (!e || !e->FirstChild()) return nullptr;
    return e->FirstChild()->Value();
}
void add(TiXmlElement* ev, const char* name, const std::string& v) {
    auto* e = new TiXmlElement(name);
    e->LinkEndChild(new TiXmlText(v.c_str()));
    ev->LinkEndChild(e);
}
}  // namespace

std::string build_search_request() {
    TiXmlDocument doc;
    doc.Parse("<?xml version=\"1.0\"?>", nullptr, TIXML_ENCODING_LEGACY);
    auto* ev = new TiXmlElement("event");
    doc.LinkEndChild(ev);
    add(ev, "active", "search");
    add(ev, "type", "req");
    TiXmlPrinter p;
    p.SetIndent("\t");
    p.SetLineBreak("\n");
    doc.Accept(&p);
    return p.CStr();
}

std::optional<DiscoveryAnswer> evaluate_answer(const char* data, std::size_t len) {
    if (len > kMaxDatagram) return std::nullopt;
    std::string s(data, len);
    TiXmlDocument doc;
    doc.Parse(s.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    const char* a = text_of(doc, "active");
    const char* t = text_of(doc, "type");
    if (!a || !t || std::string(a) != "search" || std::string(t) != "ack") return std::nullopt;
    DiscoveryAnswer r;
    if (auto v = text_of(doc, "ip")) r.ip = v;
    if (auto v = text_of(doc, "id")) r.id = v;
    if (auto v = text_of(doc, "mac")) r.mac = v;
    if (auto v = text_of(doc, "version")) r.version = v;
    return r;
}

bool is_search_request(const char* data, std::size_t len) {
    if (len > kMaxDatagram) return false;
    std::string s(data, len);
    TiXmlDocument doc;
    doc.Parse(s.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    const char* a = text_of(doc, "active");
    const char* t = text_of(doc, "type");
    return a && t && std::string(a) == "search" && std::string(t) == "req";
}

std::string build_answer(const DiscoveryAnswer& answer) {
    TiXmlDocument doc;
    doc.Parse("<?xml version=\"1.0\"?>", nullptr, TIXML_ENCODING_LEGACY);
    auto* ev = new TiXmlElement("event");
    doc.LinkEndChild(ev);
    add(ev, "active", "search");
    add(ev, "type", "ack");
    if (answer.ip) add(ev, "ip", *answer.ip);
    if (answer.id) add(ev, "id", *answer.id);
    if (answer.mac) add(ev, "mac", *answer.mac);
    if (answer.version) add(ev, "version", *answer.version);
    TiXmlPrinter p;
    p.SetIndent("\t");
    p.SetLineBreak("\n");
    doc.Accept(&p);
    return p.CStr();
}
}  // namespace quillon
