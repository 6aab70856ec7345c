// SPDX-License-Identifier: Apache-2.0
#pragma once
// Unpacks a zip package into a folder.
#include <string>

namespace quillon {

// Size of the buffer every entry is streamed through; memory stays flat whatever the entry size.
inline constexpr std::size_t kUnzipChunk = 256 * 1024;

// Unpacks every entry of `archive` below the folder `dest` (an empty `dest` is the root), creating
// sub-folders as needed. Each file is created afresh and receives exactly the entry's bytes.
// Sizes and offsets beyond 32 bits come from the entries' Zip64 fields (archives of any writer,
// also over 4 GiB); an entry's name comes from its Info-ZIP Unicode Path field when that was
// written for the header's name, else from the header (see entry_name_utf8).
// Returns 0 when every entry was written, -1 on the first failure; `why` (optional) then says
// what went wrong. Entries written before the failure stay; the failing entry's data is removed
// and a file it would have replaced stays as it was. Refused, and so failing the whole import:
//  - an archive whose entries declare more bytes than the folder's file system has free
//    (checked before anything is written);
//  - a name that is absolute, contains "..", or would lead outside `dest` through a link that
//    already exists there (no link below `dest` is ever followed);
//  - a symbolic-link entry (unix mode S_IFLNK): nothing in a package needs one, and writing its
//    target text as a file would only pretend to honour it;
//  - an encrypted entry, an unknown compression method;
//  - data that does not match the entry's CRC or its declared size;
//  - an archive whose central directory holds fewer entries than it declares.
int unzip_package(const std::string& archive, const std::string& dest, std::string* why = nullptr);

}  // namespace quillon
