// SPDX-License-Identifier: Apache-2.0
// libFuzzer target: any bytes as a received discovery datagram. Besides the sanitizers' findings
// it aborts when evaluate_answer or is_search_request disagree with the document the datagram
// parses into, when a datagram longer than the limit is taken, or when the path functions break
// their rules on that document: a path leads to the first child of each name in turn, empty
// pieces change nothing, and a text set at a path reads back.
#include <tinyxml.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "discovery/discovery_codec.h"
#include "discovery/xml_path.h"
#include "fuzz_support.h"

namespace {

using quillon::fuzz::check;

bool text_is(const char* text, const char* expected) {
    return text && std::strcmp(text, expected) == 0;
}

void check_same(const std::optional<std::string>& got, const char* expected, const char* what) {
    check(got.has_value() == (expected != nullptr), what);
    if (got) check(*got == expected, what);
}

// The names from the document down to `e`, and the same path written with extra separators.
std::vector<std::string> names_to(const TiXmlElement* e) {
    std::vector<std::string> names;
    for (const TiXmlNode* n = e; n && n->ToElement(); n = n->Parent())
        names.insert(names.begin(), n->Value());
    return names;
}

std::string join(const std::vector<std::string>& names, const char* sep, const char* lead,
                 const char* tail) {
    std::string path = lead;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) path += sep;
        path += names[i];
    }
    return path + tail;
}

// True when `a` comes before `b` in document order, or is `b`.
bool not_after(const TiXmlNode* a, const TiXmlNode* b) {
    for (const TiXmlNode* n = a; n;) {
        if (n == b) return true;
        if (n->FirstChild()) {
            n = n->FirstChild();
            continue;
        }
        while (n && !n->NextSibling()) n = n->Parent();
        if (n) n = n->NextSibling();
    }
    return false;
}

void check_paths(TiXmlDocument& doc) {
    // Every element of the parsed document, in document order (the walk is iterative: the
    // document's depth is bounded by the element cap, but the check should not depend on it).
    std::vector<TiXmlElement*> elements;
    for (TiXmlNode* n = doc.FirstChild(); n;) {
        if (TiXmlElement* e = n->ToElement()) elements.push_back(e);
        if (n->FirstChild()) {
            n = n->FirstChild();
            continue;
        }
        while (n && n != &doc && !n->NextSibling()) n = n->Parent();
        if (!n || n == &doc) break;
        n = n->NextSibling();
    }
    for (TiXmlElement* e : elements) {
        const auto names = names_to(e);
        const std::string plain = join(names, "/", "/", "");
        // The walk takes the first child of each name and does not go back: the same walk
        // through TinyXML's own lookup by name says where it must end.
        TiXmlElement* expected = nullptr;
        TiXmlNode* at = &doc;
        for (const std::string& name : names) {
            expected = at->FirstChildElement(name.c_str());
            if (!expected) break;
            at = expected;
        }
        TiXmlElement* found = quillon::find_element(&doc, plain.c_str());
        check(found == expected, "path walk differs from the first match by name");
        if (!found) continue;
        check(not_after(found, e), "path led past the element it names");
        const std::string messy = join(names, "///", "//", "/");
        check(quillon::find_element(&doc, messy.c_str()) == found, "empty pieces changed the walk");
        const TiXmlNode* first = found->FirstChild();
        const char* text = quillon::text_at(&doc, plain.c_str());
        check(first ? text == first->Value() : text == nullptr, "text_at is not the first child");
    }
    check(quillon::find_element(&doc, "") == nullptr, "empty path found something");
    check(quillon::find_element(&doc, "///") == nullptr, "separator-only path found something");
    check(quillon::set_text_at(&doc, "//", "x") == -1, "set_text_at took a path without a piece");
    check(quillon::set_text_at(&doc, nullptr, "x") == -1, "set_text_at took a null path");

    // Writing at the paths of the answer and at the deepest element's path reads back.
    std::vector<std::string> targets = {"/event/ip", "/event/mac", "/new/one"};
    if (!elements.empty()) targets.push_back(join(names_to(elements.back()), "/", "/", "/x"));
    for (const std::string& path : targets) {
        check(quillon::set_text_at(&doc, path.c_str(), "v<&>") == 0, "set_text_at failed");
        check(text_is(quillon::text_at(&doc, path.c_str()), "v<&>"), "set text does not read back");
        const TiXmlElement* at = quillon::find_element(&doc, path.c_str());
        check(at && at->FirstChild() && !at->FirstChild()->NextSibling(),
              "set_text_at left more than the one text node");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const auto answer = quillon::evaluate_answer(bytes, size);
    const bool request = quillon::is_search_request(bytes, size);
    if (size > quillon::kMaxDatagram) {
        check(!answer && !request, "a datagram beyond the limit was evaluated");
        return 0;
    }

    // The same document, parsed the way the datagram is read.
    std::string text(bytes, size);
    text.resize(quillon::xml_parse_limit(text.data(), text.size()));
    TiXmlDocument doc;
    doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);

    const bool search = text_is(quillon::text_at(&doc, "/event/active"), "search");
    const char* type = quillon::text_at(&doc, "/event/type");
    check(answer.has_value() == (search && text_is(type, "ack")),
          "answer test disagrees with the document");
    check(request == (search && text_is(type, "req")), "request test disagrees with the document");
    if (answer) {
        check_same(answer->ip, quillon::text_at(&doc, "/event/ip"), "ip differs");
        check_same(answer->id, quillon::text_at(&doc, "/event/id"), "id differs");
        check_same(answer->mac, quillon::text_at(&doc, "/event/mac"), "mac differs");
        check_same(answer->version, quillon::text_at(&doc, "/event/version"), "version differs");
    }
    check_paths(doc);
    return 0;
}
