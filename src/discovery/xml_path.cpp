// SPDX-License-Identifier: Apache-2.0
#include "discovery/xml_path.h"

#include <string>
#include <string_view>

namespace quillon {

namespace {

// Hands the next non-empty piece of `rest` to the caller and advances `rest` past it.
// Works on views of the caller's text only, so concurrent walks share nothing.
bool next_piece(std::string_view& rest, std::string_view& piece) {
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    if (rest.empty()) return false;
    std::size_t end = rest.find('/');
    if (end == std::string_view::npos) end = rest.size();
    piece = rest.substr(0, end);
    rest.remove_prefix(end);
    return true;
}

TiXmlElement* child_named(TiXmlNode* node, std::string_view name) {
    for (TiXmlElement* e = node->FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (name == e->Value()) return e;
    }
    return nullptr;
}

}  // namespace

TiXmlElement* find_element(TiXmlNode* node, const char* path) {
    if (!node || !path) return nullptr;
    std::string_view rest(path), piece;
    TiXmlElement* found = nullptr;
    while (next_piece(rest, piece)) {
        found = child_named(node, piece);
        if (!found) return nullptr;
        node = found;
    }
    return found;
}

const TiXmlElement* find_element(const TiXmlNode* node, const char* path) {
    // The walk only reads; the non-const version serves both.
    return find_element(const_cast<TiXmlNode*>(node), path);
}

const char* text_at(const TiXmlNode* node, const char* path) {
    const TiXmlElement* e = find_element(node, path);
    if (!e) return nullptr;
    const TiXmlNode* first = e->FirstChild();
    return first ? first->Value() : nullptr;
}

int set_text_at(TiXmlNode* node, const char* path, const char* value) {
    if (!node || !path || !value) return -1;
    std::string_view rest(path), piece;
    TiXmlNode* at = node;
    bool any_piece = false;
    while (next_piece(rest, piece)) {
        any_piece = true;
        TiXmlNode* child = child_named(at, piece);
        if (!child) {
            // LinkEndChild takes ownership, also of a node it refuses (it deletes it then).
            child = at->LinkEndChild(new TiXmlElement(std::string(piece)));
            if (!child) return -1;
        }
        at = child;
    }
    // Without a piece the "final element" would be the starting node itself; wiping a whole
    // document or element because of an empty path is never what a caller means.
    if (!any_piece) return -1;
    at->Clear();
    if (!at->LinkEndChild(new TiXmlText(value))) return -1;
    return 0;
}

}  // namespace quillon
