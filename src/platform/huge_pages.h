// SPDX-License-Identifier: Apache-2.0
#pragma once
// Huge pages for large buffers that are filled at once (the image set). One fault then serves
// 2 MiB instead of 4 KiB, but a huge fault that finds no free 2 MiB block makes the kernel
// compact memory first, which costs more than it saves: so they are asked for only while the
// kernel holds enough such blocks ready. On Windows large pages need a privilege that a
// program run from a USB stick does not have: there, nothing is advised.
#include <cstddef>
#include <string_view>

namespace quillon {

constexpr std::size_t kHugePageBytes = std::size_t(2) << 20;

// Free 2 MiB blocks counted from the text of /proc/buddyinfo: every zone's free blocks of
// `huge_order` (2 MiB in base pages, 9 for 4 KiB pages) and above, a block of order k holding
// 2^(k - huge_order) of them. Lines that do not read as a zone's counts are skipped.
std::size_t free_huge_pages(std::string_view buddyinfo, int huge_order);

// The same for this machine now; 0 when it cannot be told (always on Windows).
std::size_t free_huge_pages_now();

// Asks for huge pages over the 2 MiB blocks that lie wholly inside [buf, buf + n), when the
// kernel has at least twice as many free as that takes. True when the advice was given (never
// on Windows).
bool advise_huge_pages(void* buf, std::size_t n);

}  // namespace quillon
