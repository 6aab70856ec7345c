// SPDX-License-Identifier: Apache-2.0
#include "images/unzip_package.h"

#include <unzip.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "images/zip_archive.h"
#include "images/zip_entry_name.h"
#include "images/zip_extra_fields.h"
#include "platform/files.h"
#include "platform/unpack_folder.h"

namespace quillon {

namespace {

int fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return -1;
}

// Removes the file of a failed entry unless dismissed, closing it first: Windows does not
// delete a file that is still open.
class PartialFile {
public:
    PartialFile(const FolderHandle& dir, std::string name, NewFile& file)
        : dir_(dir), name_(std::move(name)), file_(file) {}
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() {
        if (kept_) return;
        file_.close();
        remove_file_in(dir_, name_);
    }
    void keep() { kept_ = true; }

private:
    const FolderHandle& dir_;
    std::string name_;
    NewFile& file_;
    bool kept_ = false;
};

bool is_symlink_entry(const unz_file_info64& info) {
    unsigned long mode = (info.external_fa >> 16) & 0170000;
    return mode == 0120000;
}

// One entry of the central directory, its sizes resolved through its Zip64 field.
struct Entry {
    unz_file_info64 info{};
    Zip64Values sizes;
    std::string name;  // UTF-8
};

// Reads the current entry's information, name and extra field; false with `why` set on failure.
bool read_entry(unzFile zf, std::vector<char>& name_buf, std::vector<char>& extra_buf, Entry& e,
                std::string& why) {
    e = Entry{};
    if (::unzGetCurrentFileInfo64(zf, &e.info, name_buf.data(), static_cast<uLong>(name_buf.size()),
                                  extra_buf.data(), static_cast<uLong>(extra_buf.size()), nullptr,
                                  0) != UNZ_OK) {
        why = "cannot read the entry's information";
        return false;
    }
    const std::string_view raw(name_buf.data(),
                               std::min<std::size_t>(e.info.size_filename, name_buf.size()));
    const std::string_view extra(extra_buf.data(),
                                 std::min<std::size_t>(e.info.size_file_extra, extra_buf.size()));
    if (!resolve_zip64(extra, e.info.uncompressed_size, e.info.compressed_size, e.sizes)) {
        why = "the entry's sizes are marked as Zip64 but its Zip64 field does not hold them";
        return false;
    }
    // Info-ZIP's Unicode Path names the entry in UTF-8 whatever code page the header's name is in.
    if (std::optional<std::string> u = unicode_path_name(extra, raw))
        e.name = std::move(*u);
    else
        e.name = entry_name_utf8(std::string(raw), (e.info.flag & 0x800) != 0);
    return true;
}

// Writes the current entry, a file, into `root`. Returns 0 or -1 with `why` set.
int extract_file(ZipArchive& archive, const Entry& entry, const EntryPath& path,
                 const FolderHandle& root, std::vector<unsigned char>& buf, std::string& why) {
    unzFile zf = archive.get();
    const ZPOS64_T size = entry.sizes.uncompressed;
    const std::string& leaf = path.components.back();
    std::string err;
    const FolderHandle dir = open_folder_chain(root, path.components, path.components.size() - 1,
                                               err);
    if (!dir.valid()) return fail(&why, err);

    // A file in the way is replaced, never written through (it may be a hard link to a file
    // elsewhere, or the archive being read), and only by data that came whole: a failed entry
    // leaves the file it would have replaced as it was. The data goes to a fresh file beside
    // the final name, under a name of our own, and is renamed into place once whole and checked.
    std::string part;
    NewFile out = create_part_file(dir, part);
    if (!out.valid()) return fail(&why, "cannot create " + leaf + ": " + last_file_error_text());
    PartialFile partial(dir, part, out);

    // Only while this entry is read: the central directory that follows may lie beyond 4 GiB.
    archive.set_header_offset(entry.sizes.header_offset);
    struct Unshift {
        ZipArchive& a;
        ~Unshift() { a.set_header_offset(std::nullopt); }
    } unshift{archive};
    if (::unzOpenCurrentFile(zf) != UNZ_OK) return fail(&why, "cannot open the entry's data");
    ZPOS64_T total = 0;
    // minizip checks the CRC only when it knew the size itself, which it does not for Zip64
    // sizes: the check is ours, for every entry.
    uLong crc = ::crc32(0L, Z_NULL, 0);
    for (;;) {
        // Never more than the entry's size: where minizip does not know it, it would read on
        // into whatever follows a stored entry.
        const ZPOS64_T want = std::min<ZPOS64_T>(buf.size(), size - total);
        if (want == 0) break;
        int n = ::unzReadCurrentFile(zf, buf.data(), static_cast<unsigned>(want));
        if (n < 0) {
            ::unzCloseCurrentFile(zf);
            return fail(&why, "corrupt data (error " + std::to_string(n) + ")");
        }
        if (n == 0) break;
        if (!out.write_all(buf.data(), static_cast<std::size_t>(n))) {
            const std::string reason = last_file_error_text();
            ::unzCloseCurrentFile(zf);
            return fail(&why, "cannot write " + leaf + ": " + reason);
        }
        crc = ::crc32(crc, buf.data(), static_cast<uInt>(n));
        total += static_cast<ZPOS64_T>(n);
    }
    int closed = ::unzCloseCurrentFile(zf);
    if (closed == UNZ_CRCERROR) return fail(&why, "CRC mismatch");
    if (closed != UNZ_OK)
        return fail(&why, "cannot close the entry (error " + std::to_string(closed) + ")");
    if (total != size)
        return fail(&why, "data ends after " + std::to_string(total) + " of " +
                              std::to_string(size) + " bytes");
    if (crc != entry.info.crc) return fail(&why, "CRC mismatch");
    if (!out.close()) return fail(&why, "cannot write " + leaf + ": " + last_file_error_text());
    // Replaces a file or a link of that name (never what a link points to); a folder stays.
    if (!replace_file_in(dir, part, leaf))
        return fail(&why, "cannot replace " + leaf + ": " + last_file_error_text());
    partial.keep();
    return 0;
}

// Refuses an archive whose entries together declare more bytes than the folder's file system
// has free, before anything is written: a package (or a small archive that inflates a
// thousandfold) must not fill the disk that the logs and the report are written to.
int check_room(unzFile zf, ZPOS64_T entries, const FolderHandle& root, std::vector<char>& name_buf,
               std::vector<char>& extra_buf, std::string* why) {
    if (entries == 0) return 0;
    unsigned long long declared = 0;
    for (ZPOS64_T i = 0; i < entries; ++i) {
        if (i > 0 && ::unzGoToNextFile(zf) != UNZ_OK) break;  // the extraction says what is wrong
        Entry e;
        std::string err;
        if (!read_entry(zf, name_buf, extra_buf, e, err)) break;
        declared += e.sizes.uncompressed;
        if (declared < e.sizes.uncompressed) declared = ~0ull;  // saturate
    }
    // A file system that tells no sizes (some FUSE mounts) is not taken as full.
    if (const std::optional<uint64_t> free = free_bytes(root)) {
        const unsigned long long room = *free;
        if (declared > room)
            return fail(why, "the package unpacks to " + std::to_string(declared) +
                                 " bytes; its folder has " + std::to_string(room) + " bytes free");
    }
    return ::unzGoToFirstFile(zf) == UNZ_OK ? 0 : fail(why, "cannot read the archive's directory");
}

}  // namespace

int unzip_package(const std::string& archive, const std::string& dest, std::string* why) {
    ZipArchive zip(archive);
    if (!zip.valid()) return fail(why, "not a zip archive or cannot be read");
    unzFile zf = zip.get();
    unz_global_info64 gi{};
    if (::unzGetGlobalInfo64(zf, &gi) != UNZ_OK)
        return fail(why, "cannot read the archive's directory");

    const std::string root_path = dest.empty() ? std::string("/") : dest;
    std::string open_err;
    const FolderHandle root = open_folder(root_path, open_err);
    if (!root.valid()) return fail(why, open_err);

    // An entry name and an extra field have at most 65535 bytes each.
    std::vector<char> name_buf(0x10000 + 1);
    std::vector<char> extra_buf(0x10000);
    if (check_room(zf, gi.number_entry, root, name_buf, extra_buf, why) != 0) return -1;

    std::vector<unsigned char> buf(kUnzipChunk);
    for (ZPOS64_T i = 0; i < gi.number_entry; ++i) {
        if (i > 0) {
            int r = ::unzGoToNextFile(zf);
            if (r != UNZ_OK)
                return fail(why, "the archive declares " + std::to_string(gi.number_entry) +
                                     " entries but lists " + std::to_string(i));
        }
        Entry entry;
        std::string err;
        if (!read_entry(zf, name_buf, extra_buf, entry, err))
            return fail(why, "entry " + std::to_string(i) + " of the archive: " + err);
        const std::string& name = entry.name;
        const unz_file_info64& info = entry.info;

        if (is_symlink_entry(info)) return fail(why, "symbolic-link entry refused: " + name);
        if (info.flag & 1) return fail(why, "encrypted entry refused: " + name);
        if (root_path.size() + 1 + name.size() >= max_path_bytes())
            return fail(why, "entry name too long: " + name.substr(0, 64) + "...");
        EntryPath path;
        if (!split_entry_name(name, info.external_fa == 0x10, path, err)) return fail(why, err);

        if (path.is_folder) {
            // A folder that cannot be created is no failure by itself; a file inside it is.
            open_folder_chain(root, path.components, path.components.size(), err);
            continue;
        }
        if (extract_file(zip, entry, path, root, buf, err) != 0)
            return fail(why, name + ": " + err);
    }
    return 0;
}

}  // namespace quillon
