// SPDX-License-Identifier: Apache-2.0
#pragma once
// Paths such as "/event/ip" over a TinyXML tree. A path is split at "/" and empty pieces are
// ignored, so "/event//ip/" is the same path as "event/ip". Each piece names a child element;
// names are compared byte for byte, case-sensitive, and the first matching child is taken.
// The functions keep no state of their own: any thread may call them on its own documents.
#include <tinyxml.h>

namespace quillon {

// The element at `path` below `node`, or null when a piece has no matching child element or
// the path has no piece at all.
TiXmlElement* find_element(TiXmlNode* node, const char* path);
const TiXmlElement* find_element(const TiXmlNode* node, const char* path);

// The value of the first child node of the element at `path` (for an element holding plain
// text: the text), or null when the element is missing or has no child. The text lives as
// long as the document is unchanged.
const char* text_at(const TiXmlNode* node, const char* path);

// Makes the element at `path` hold exactly one text node with `value`, creating missing
// elements as last children on the way. 0 on success; -1 when node, path or value is null,
// the path has no piece, or an element cannot be added.
int set_text_at(TiXmlNode* node, const char* path, const char* value);

}  // namespace quillon
