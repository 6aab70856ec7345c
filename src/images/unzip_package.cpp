#include "images/unzip_package.h"

#include <unzip.h>

#include <memory>
#include <vector>

#include "images/zip_entry_name.h"
#include "platform/files.h"
#include "platform/unpack_folder.h"
#include "platform/zip_archive.h"

namespace quillon {

namespace {

struct UnzCloser {
    void operator()(void* z) const { ::unzClose(z); }
};
using UniqueUnz = std::unique_ptr<void, UnzCloser>;

int fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return -1;
}

// Removes the file of a failed entry unless dismissed.
class PartialFile {
public:
    PartialFile(const FolderHandle& dir, std::string name) : dir_(dir), name_(std::move(name)) {}
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() {
        if (!kept_) remove_file_in(dir_, name_);
    }
    void keep() { kept_ = true; }

private:
    const FolderHandle& dir_;
    std::string name_;
    bool kept_ = false;
};

bool is_symlink_entry(const unz_file_info64& info) {
    unsigned long mode = (info.external_fa >> 16) & 0170000;
    return mode == 0120000;
}

// Writes the current entry, a file, into `root`. Returns 0 or -1 with `why` set.
int extract_file(unzFile zf, const unz_file_info64& info, const EntryPath& path, const FolderHandle& root,
                 std::vector<unsigned char>& buf, std::string& why) {
    const std::string& leaf = path.components.back();
    std::string err;
    const FolderHandle dir = open_folder_chain(root, path.components, path.components.size() - 1, err);
    if (!dir.valid()) return fail(&why, err);

    // A file in the way is replaced, never written through (it may be a hard link to a file
    // elsewhere, or the archive being read), and only by data that came whole: a failed entry
    // leaves the file it would have replaced as it was. The data goes to a fresh file beside
    // the final name, under a name of our own, and is renamed into place once whole and checked.
    std::string part;
    NewFile out = create_part_file(dir, part);
    if (!out.valid()) return fail(&why, "cannot create " + leaf + ": " + last_file_error_text());
    PartialFile partial(dir, part);

    if (::unzOpenCurrentFile(zf) != UNZ_OK) return fail(&why, "cannot open the entry's data");
    ZPOS64_T total = 0;
    for (;;) {
        int n = ::unzReadCurrentFile(zf, buf.data(), static_cast<unsigned>(buf.size()));
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
        total += static_cast<ZPOS64_T>(n);
    }
    int closed = ::unzCloseCurrentFile(zf);
    if (closed == UNZ_CRCERROR) return fail(&why, "CRC mismatch");
    if (closed != UNZ_OK) return fail(&why, "cannot close the entry (error " + std::to_string(closed) + ")");
    // The CRC is only checked when all declared bytes came; short data is caught here.
    if (total != info.uncompressed_size)
        return fail(&why, "data ends after " + std::to_string(total) + " of " +
                              std::to_string(info.uncompressed_size) + " bytes");
    if (!out.close()) return fail(&why, "cannot write " + leaf + ": " + last_file_error_text());
    // Replaces a file or a link of that name (never what a link points to); a folder stays.
    if (!replace_file_in(dir, part, leaf)) return fail(&why, "cannot replace " + leaf + ": " + last_file_error_text());
    partial.keep();
    return 0;
}

// Refuses an archive whose entries together declare more bytes than the folder's file system
// has free, before anything is written: a package (or a small archive that inflates a
// thousandfold) must not fill the disk that the logs and the report are written to.
int check_room(unzFile zf, ZPOS64_T entries, const FolderHandle& root, std::string* why) {
    if (entries == 0) return 0;
    unsigned long long declared = 0;
    for (ZPOS64_T i = 0; i < entries; ++i) {
        if (i > 0 && ::unzGoToNextFile(zf) != UNZ_OK) break;  // the extraction says what is wrong
        unz_file_info64 info{};
        if (::unzGetCurrentFileInfo64(zf, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        declared += info.uncompressed_size;
        if (declared < info.uncompressed_size) declared = ~0ull;  // saturate
    }
    // A file system that tells no sizes (some FUSE mounts) is not taken as full.
    if (const std::optional<uint64_t> free = free_bytes(root)) {
        const unsigned long long room = *free;
        if (declared > room)
            return fail(why, "the package unpacks to " + std::to_string(declared) + " bytes; its folder has " +
                                 std::to_string(room) + " bytes free");
    }
    return ::unzGoToFirstFile(zf) == UNZ_OK ? 0 : fail(why, "cannot read the archive's directory");
}

}  // namespace

int unzip_package(const std::string& archive, const std::string& dest, std::string* why) {
    UniqueUnz zf(open_zip_archive(archive));
    if (!zf) return fail(why, "not a zip archive or cannot be read");
    unz_global_info64 gi{};
    if (::unzGetGlobalInfo64(zf.get(), &gi) != UNZ_OK) return fail(why, "cannot read the archive's directory");

    const std::string root_path = dest.empty() ? std::string("/") : dest;
    std::string open_err;
    const FolderHandle root = open_folder(root_path, open_err);
    if (!root.valid()) return fail(why, open_err);

    if (check_room(zf.get(), gi.number_entry, root, why) != 0) return -1;

    std::vector<unsigned char> buf(kUnzipChunk);
    std::vector<char> name_buf(0x10000 + 1);  // an entry name has at most 65535 bytes
    for (ZPOS64_T i = 0; i < gi.number_entry; ++i) {
        if (i > 0) {
            int r = ::unzGoToNextFile(zf.get());
            if (r != UNZ_OK)
                return fail(why, "the archive declares " + std::to_string(gi.number_entry) +
                                     " entries but lists " + std::to_string(i));
        }
        unz_file_info64 info{};
        if (::unzGetCurrentFileInfo64(zf.get(), &info, name_buf.data(),
                                      static_cast<uLong>(name_buf.size()), nullptr, 0, nullptr,
                                      0) != UNZ_OK)
            return fail(why, "cannot read entry " + std::to_string(i) + " of the archive");
        const std::string name = entry_name_utf8(std::string(name_buf.data(), info.size_filename),
                                                 (info.flag & 0x800) != 0);

        if (is_symlink_entry(info)) return fail(why, "symbolic-link entry refused: " + name);
        if (info.flag & 1) return fail(why, "encrypted entry refused: " + name);
        if (root_path.size() + 1 + name.size() >= max_path_bytes())
            return fail(why, "entry name too long: " + name.substr(0, 64) + "...");
        EntryPath path;
        std::string err;
        if (!split_entry_name(name, info.external_fa == 0x10, path, err)) return fail(why, err);

        if (path.is_folder) {
            // A folder that cannot be created is no failure by itself; a file inside it is.
            open_folder_chain(root, path.components, path.components.size(), err);
            continue;
        }
        if (extract_file(zf.get(), info, path, root, buf, err) != 0)
            return fail(why, name + ": " + err);
    }
    return 0;
}

}  // namespace quillon
