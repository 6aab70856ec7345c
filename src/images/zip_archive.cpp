#include "images/zip_archive.h"

#include "images/zip_extra_fields.h"

namespace quillon {

ZipArchive::ZipArchive(const std::string& path) : io_(std::make_unique<Io>()) {
    fill_fopen64_filefunc(&io_->base);
    zlib_filefunc64_def def = io_->base;
    def.zseek64_file = &ZipArchive::seek;
    def.opaque = io_.get();
    zf_ = ::unzOpen2_64(path.c_str(), &def);
}

ZipArchive::~ZipArchive() {
    if (zf_) ::unzClose(zf_);
}

void ZipArchive::set_header_offset(std::optional<std::uint64_t> offset) {
    io_->shifted = offset.has_value();
    // minizip seeks to the marker and reads on from there: every position from the marker on
    // moves by the same amount (unsigned arithmetic: the real offset may lie below the marker).
    if (offset) io_->shift = *offset - kZip64Marker;
}

long ZipArchive::seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
    const Io* io = static_cast<const Io*>(opaque);
    if (io->shifted && origin == ZLIB_FILEFUNC_SEEK_SET && offset >= kZip64Marker) offset += io->shift;
    return io->base.zseek64_file(io->base.opaque, stream, offset, origin);
}

}  // namespace quillon
