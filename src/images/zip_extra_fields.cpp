// SPDX-License-Identifier: Apache-2.0
#include "images/zip_extra_fields.h"

#include <zlib.h>

namespace quillon {

namespace {

std::uint64_t le(std::string_view s, std::size_t at, std::size_t bytes) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        v |= std::uint64_t(static_cast<unsigned char>(s[at + i])) << (8 * i);
    return v;
}

}  // namespace

std::optional<std::string_view> find_extra_field(std::string_view extra, std::uint16_t id) {
    std::size_t at = 0;
    while (extra.size() - at >= 4) {
        const auto field_id = static_cast<std::uint16_t>(le(extra, at, 2));
        const std::size_t size = static_cast<std::size_t>(le(extra, at + 2, 2));
        if (size > extra.size() - at - 4) return std::nullopt;
        if (field_id == id) return extra.substr(at + 4, size);
        at += 4 + size;
    }
    return std::nullopt;
}

bool resolve_zip64(std::string_view extra, std::uint64_t uncompressed, std::uint64_t compressed,
                   Zip64Values& out) {
    out = Zip64Values{uncompressed, compressed, std::nullopt};
    const bool need_u = uncompressed == kZip64Marker;
    const bool need_c = compressed == kZip64Marker;
    const std::optional<std::string_view> f = find_extra_field(extra, 0x0001);
    if (!f) return !need_u && !need_c;
    std::size_t at = 0;
    auto take = [&](std::uint64_t& v) {
        if (f->size() - at < 8) return false;
        v = le(*f, at, 8);
        at += 8;
        return true;
    };
    if (need_u && !take(out.uncompressed)) return false;
    if (need_c && !take(out.compressed)) return false;
    std::uint64_t offset = 0;
    if (take(offset)) out.header_offset = offset;
    return true;
}

std::optional<std::string> unicode_path_name(std::string_view extra, std::string_view raw_name) {
    const std::optional<std::string_view> f = find_extra_field(extra, 0x7075);
    if (!f || f->size() < 5 || static_cast<unsigned char>((*f)[0]) != 1) return std::nullopt;
    const uLong crc = ::crc32(::crc32(0L, Z_NULL, 0),
                              reinterpret_cast<const Bytef*>(raw_name.data()),
                              static_cast<uInt>(raw_name.size()));
    if (le(*f, 1, 4) != crc) return std::nullopt;
    return std::string(f->substr(5));
}

}  // namespace quillon
