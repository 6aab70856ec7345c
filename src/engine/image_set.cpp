// Loading the image set: every used slot's file is read whole once per batch, its trailer kept as
// the header to send, and its data checked against the trailer's checksum. The data are then
// shared read-only by all workers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "engine/upgrade_engine.h"

namespace quillon {
namespace {

// Reads exactly `len` bytes at `offset`; false on an error or a file that turned out shorter.
bool read_at(int fd, uint8_t* out, std::size_t len, off_t offset) {
    while (len > 0) {
        const ssize_t n = ::pread(fd, out, len, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out += n;
        len -= std::size_t(n);
        offset += n;
    }
    return true;
}

}  // namespace

void UpgradeEngine::release_images() {
    for (int i = 0; i < kSlots; ++i) {
        m_img_data[i].reset();
        m_img_len[i] = 0;
    }
}

bool UpgradeEngine::load_images() {
    release_images();
    m_img_count = 0;
    m_last_img = -1;

    for (int i = 0; i < kSlots; ++i) {
        std::printf("strlen(m_url[%d]) = %d\n", i, int(m_url[i].size()));
        m_img_len[i] = 0;
        if (m_url[i].empty()) continue;
        m_last_img = i;

        // The size is taken from the opened file itself, so that the file measured is the one read.
        UniqueFd fd(::open(m_url[i].c_str(), O_RDONLY | O_CLOEXEC));
        struct stat st {};
        bool ok = fd.valid() && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
                  st.st_size >= off_t(kImageHeaderSize) &&
                  uint64_t(st.st_size) - kImageHeaderSize <= UINT32_MAX;
        uint32_t n = 0;
        if (ok) {
            n = uint32_t(uint64_t(st.st_size) - kImageHeaderSize);
            // Not value-initialised: every byte is overwritten by the read.
            try {
                m_img_data[i] = std::make_unique_for_overwrite<uint8_t[]>(n == 0 ? 1 : n);
            } catch (const std::bad_alloc&) {
                ok = false;
            }
            ok = ok && read_at(fd.get(), m_img_head[i].bytes, kImageHeaderSize, off_t(n)) &&
                 read_at(fd.get(), m_img_data[i].get(), n, 0);
        }
        fd.reset();
        const ImageHeader& head = m_img_head[i];
        // A trailer that claims more data than the file holds would make us send past the buffer.
        ok = ok && n > 0 && head.length() <= n &&
             image_checksum(m_img_data[i].get(), n, head.xor_flag(), head.xor_key()) == head.crc();
        if (!ok) {
            m_img_data[i].reset();
            m_img_len[i] = 0;
            std::printf("load image err i= %d\n", i);
            return false;
        }
        m_img_len[i] = n;
        ++m_img_count;
    }
    return m_img_count > 0;
}

}  // namespace quillon
