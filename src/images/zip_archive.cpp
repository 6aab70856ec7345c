// SPDX-License-Identifier: Apache-2.0
#include "images/zip_archive.h"

#include "images/zip_extra_fields.h"
#include "platform/zip_archive.h"

namespace quillon {

ZipArchive::ZipArchive(const std::string& path) : io_(std::make_unique<Io>()) {
    // The archive is named by a UTF-8 path, on Windows too.
    fill_zip_file_functions(&io_->base);
    zlib_filefunc64_def def = io_->base;
    def.zseek64_file = &ZipArchive::seek;
    def.opaque = io_.get();
    zf_ = ::unzOpen2_64(path.c_str(), &def);
}

ZipArchive::~ZipArchive() {
    if (zf_) ::unzClose(zf_);
}

void ZipArchive::set_header_offset(std::optional<std::uint64_t> offset) {
    io_->header = offset;
    io_->moving = false;
}

long ZipArchive::seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
    Io* io = static_cast<Io*>(opaque);
    if (io->header && origin == ZLIB_FILEFUNC_SEEK_SET) {
        // minizip goes to the marker for the local header, then on to the data behind it: every
        // position from the marker on lies as far behind the real header.
        if (offset == kZip64Marker) io->moving = true;
        if (io->moving && offset >= kZip64Marker) offset = *io->header + (offset - kZip64Marker);
    }
    return io->base.zseek64_file(io->base.opaque, stream, offset, origin);
}

}  // namespace quillon
