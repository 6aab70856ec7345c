// SPDX-License-Identifier: Apache-2.0
#include "platform/huge_pages.h"

namespace quillon {

std::size_t free_huge_pages_now() { return 0; }

bool advise_huge_pages(void*, std::size_t) { return false; }

}  // namespace quillon
