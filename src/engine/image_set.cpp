// SPDX-License-Identifier: Apache-2.0
// Loading the image set: every used slot's file is read whole once per batch, its trailer kept as
// the header to send, and its data checked against the trailer's checksum. The data are then
// shared read-only by all workers.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/upgrade_engine.h"
#include "log/debug_line.h"
#include "platform/files.h"
#include "platform/huge_pages.h"

namespace quillon {
namespace {

// Reads the n data bytes into `out` and checks them against the trailer. Filling fresh memory
// from the page cache costs more than the checksum itself (a page fault and a zeroed page every
// 4 KiB): on one thread a 1 GiB set took three to four times as long as its checksum. So a large
// image is read in parts, one per core (at most four), each part read and checksummed on a thread
// of its own, and the parts' checksums are joined. Without the checksum's inversions the CRC is
// linear, and zlib's crc32_combine is exactly that join. On success `crc32` is zlib's crc32 of the
// stored bytes, worked out from the checksum (a second pass over a large image cost as much as
// the checksum itself).
bool read_and_check(const ReadOnlyFile& file, uint8_t* out, uint32_t n, const ImageHeader& head,
                    uint32_t& crc32) {
    constexpr std::size_t kMinPart = std::size_t(8) << 20;
    const std::size_t cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    const std::size_t parts = std::max<std::size_t>(1, std::min<std::size_t>(cores, n / kMinPart));
    const std::size_t step = n / parts;
    std::vector<uint32_t> crc(parts, 0);
    std::vector<char> ok(parts, 0);
    auto part_len = [&](std::size_t p) { return p + 1 == parts ? n - p * step : step; };
    auto run_part = [&](std::size_t p) {
        uint8_t* at = out + p * step;
        ok[p] = file.read_at(at, part_len(p), uint64_t(p * step));
        if (ok[p]) crc[p] = image_checksum(at, part_len(p), head.xor_flag(), head.xor_key());
    };
    {
        std::vector<std::jthread> helpers;  // joined when the block ends
        for (std::size_t p = 1; p < parts; ++p) {
            try {
                helpers.emplace_back(run_part, p);
            } catch (const std::system_error&) {
                run_part(p);  // no thread to be had: this one reads the part as well
            }
        }
        run_part(0);
    }
    uLong c = crc[0];
    for (std::size_t p = 0; p < parts; ++p) {
        if (!ok[p]) return false;
        if (p > 0) c = crc32_combine(c, crc[p], z_off_t(part_len(p)));
    }
    if (uint32_t(c) != head.crc()) return false;
    crc32 = plain_crc32(uint32_t(c), n, head.xor_flag(), head.xor_key());
    return true;
}

}  // namespace

void UpgradeEngine::release_images() {
    for (int i = 0; i < kSlots; ++i) {
        m_img_data[i].reset();
        m_img_len[i] = 0;
        m_img_crc32[i] = 0;
    }
}

bool UpgradeEngine::load_images() {
    release_images();
    m_img_count = 0;
    m_last_img = -1;

    for (int i = 0; i < kSlots; ++i) {
        debug_line("strlen(m_url[%d]) = %d\n", i, int(m_url[i].size()));
        m_img_len[i] = 0;
        if (m_url[i].empty()) continue;
        m_last_img = i;

        // The size is taken from the opened file itself, so that the file measured is the one read.
        ReadOnlyFile file(m_url[i]);
        uint64_t size = 0;
        bool ok = file.regular_size(size) && size >= kImageHeaderSize &&
                  size - kImageHeaderSize <= UINT32_MAX;
        uint32_t n = 0;
        if (ok) {
            n = uint32_t(size - kImageHeaderSize);
            // Not value-initialised: every byte is overwritten by the read.
            try {
                m_img_data[i] = std::make_unique_for_overwrite<uint8_t[]>(n == 0 ? 1 : n);
                // Filling the buffer costs a fault and a zeroed page every 4 KiB; with huge
                // pages a 1 GiB set loaded in about 40 % less time.
                advise_huge_pages(m_img_data[i].get(), n);
            } catch (const std::bad_alloc&) {
                ok = false;
            }
            const ImageHeader& head = m_img_head[i];
            // A trailer that claims more data than the file holds would make us send past the
            // buffer.
            ok = ok && file.read_at(m_img_head[i].bytes, kImageHeaderSize, n) && n > 0 &&
                 head.length() <= n &&
                 read_and_check(file, m_img_data[i].get(), n, head, m_img_crc32[i]);
        }
        file.close();
        if (!ok) {
            m_img_data[i].reset();
            m_img_len[i] = 0;
            debug_line("load image err i= %d\n", i);
            return false;
        }
        m_img_len[i] = n;
        ++m_img_count;
    }
    return m_img_count > 0;
}

}  // namespace quillon
