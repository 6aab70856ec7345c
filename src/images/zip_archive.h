// SPDX-License-Identifier: Apache-2.0
#pragma once
// minizip's unzip interface over one archive file.
//
// Debian's minizip 1.1 compares the 32-bit fields of the central directory with
// (unsigned long)-1, which on 64-bit Linux is never 0xFFFFFFFF: it reads no Zip64 field of an
// entry. The sizes are resolved by the caller (zip_extra_fields.h); the offset of an entry's
// local header beyond 4 GiB is reached here: when minizip goes to the marker offset to read that
// entry, its reads are moved to the real one. (A minizip that reads the Zip64 field itself, as
// on Windows, never goes there, and nothing is moved.)
#include <unzip.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quillon {

class ZipArchive {
public:
    explicit ZipArchive(const std::string& path);
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;
    ~ZipArchive();

    bool valid() const { return zf_ != nullptr; }
    unzFile get() const { return zf_; }

    // The local header of the entry about to be read lies at `offset`, which only its Zip64
    // field tells (nothing: it lies where the 32-bit field says). Holds until the next call;
    // reset it before minizip reads the central directory again, which may lie beyond 4 GiB.
    void set_header_offset(std::optional<std::uint64_t> offset);

private:
    struct Io {
        zlib_filefunc64_def base{};
        std::optional<std::uint64_t> header;  // where the entry's local header really lies
        bool moving = false;  // minizip went to the marker: its reads are being moved
    };
    static long seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin);

    std::unique_ptr<Io> io_;  // minizip keeps its address for the archive's lifetime
    unzFile zf_ = nullptr;
};

}  // namespace quillon
