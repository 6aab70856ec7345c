// SPDX-License-Identifier: Apache-2.0
#pragma once
// Finds the one file of a folder whose name begins with a keyword.
#include <string>

namespace quillon {

// Whether `name` begins with `keyword`, ignoring the case of ASCII letters. A name shorter than
// the keyword never matches. Bytes of multibyte characters compare as they are, so they can only
// match the same bytes.
bool name_has_prefix(const std::string& name, const std::string& keyword);

// Looks at the regular files directly in `folder` (not in sub-folders; links and other special
// files are not image files). When exactly one name begins with `keyword`, writes
// folder + separator + name ("/" on Linux, "\\" on Windows) into `field` and returns 0;
// otherwise (no match, several, or the folder cannot be listed) leaves `field` as it is and
// returns -1.
int find_by_prefix(const std::string& folder, const std::string& keyword, std::string& field);

}  // namespace quillon
