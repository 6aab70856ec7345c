#include "images/unzip_package.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "images/zip_archive.h"
#include "images/zip_entry_name.h"
#include "images/zip_extra_fields.h"
#include "platform/unique_fd.h"

namespace quillon {

namespace {

int fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return -1;
}

std::string errno_text() { return std::strerror(errno); }

// Opens the folder `components[0..count)` below `base`, creating what is missing. No component
// may be a link: O_NOFOLLOW makes a link in the way an error instead of a way out of the folder.
UniqueFd open_folder_chain(int base, const std::vector<std::string>& components, std::size_t count,
                           std::string& err) {
    UniqueFd cur(::fcntl(base, F_DUPFD_CLOEXEC, 0));
    if (!cur.valid()) {
        err = errno_text();
        return {};
    }
    for (std::size_t i = 0; i < count; ++i) {
        const char* name = components[i].c_str();
        int fd = ::openat(cur.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(cur.get(), name, 0777) != 0 && errno != EEXIST) {
                err = "cannot create folder " + components[i] + ": " + errno_text();
                return {};
            }
            fd = ::openat(cur.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            err = (errno == ELOOP || errno == ENOTDIR)
                      ? "folder " + components[i] + " is a link or a file"
                      : "cannot open folder " + components[i] + ": " + errno_text();
            return {};
        }
        cur.reset(fd);
    }
    return cur;
}

bool write_all(int fd, const unsigned char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Removes the file of a failed entry unless dismissed.
class PartialFile {
public:
    PartialFile(int dir, std::string name) : dir_(dir), name_(std::move(name)) {}
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() {
        if (!kept_) ::unlinkat(dir_, name_.c_str(), 0);
    }
    void keep() { kept_ = true; }

private:
    int dir_;
    std::string name_;
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
    const std::string_view raw(name_buf.data(), std::min<std::size_t>(e.info.size_filename, name_buf.size()));
    const std::string_view extra(extra_buf.data(),
                                 std::min<std::size_t>(e.info.size_file_extra, extra_buf.size()));
    if (!resolve_zip64(extra, e.info.uncompressed_size, e.info.compressed_size, e.sizes)) {
        why = "the entry's sizes are marked as Zip64 but its Zip64 field does not hold them";
        return false;
    }
    // Info-ZIP's Unicode Path names the entry in UTF-8 whatever code page the header's name is in.
    if (std::optional<std::string> u = unicode_path_name(extra, raw)) e.name = std::move(*u);
    else e.name = entry_name_utf8(std::string(raw), (e.info.flag & 0x800) != 0);
    return true;
}

// A fresh file for an entry's data beside its final name, under a name of our own; the data
// is renamed into place only once it is whole and checked.
UniqueFd create_part_file(int dir, std::string& name) {
    for (int n = 0; n < 1000; ++n) {
        name = ".quillon-part-" + std::to_string(::getpid()) + "-" + std::to_string(n);
        UniqueFd fd(::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd.valid() || errno != EEXIST) return fd;
    }
    return {};
}

// Writes the current entry, a file, into `root`. Returns 0 or -1 with `why` set.
int extract_file(ZipArchive& archive, const Entry& entry, const EntryPath& path, int root,
                 std::vector<unsigned char>& buf, std::string& why) {
    unzFile zf = archive.get();
    const ZPOS64_T size = entry.sizes.uncompressed;
    const std::string& leaf = path.components.back();
    std::string err;
    UniqueFd dir = open_folder_chain(root, path.components, path.components.size() - 1, err);
    if (!dir.valid()) return fail(&why, err);

    // A file in the way is replaced, never written through (it may be a hard link to a file
    // elsewhere, or the archive being read), and only by data that came whole: a failed entry
    // leaves the file it would have replaced as it was.
    std::string part;
    UniqueFd out = create_part_file(dir.get(), part);
    if (!out.valid()) return fail(&why, "cannot create " + leaf + ": " + errno_text());
    PartialFile partial(dir.get(), part);

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
        if (!write_all(out.get(), buf.data(), static_cast<std::size_t>(n))) {
            ::unzCloseCurrentFile(zf);
            return fail(&why, "cannot write " + leaf + ": " + errno_text());
        }
        crc = ::crc32(crc, buf.data(), static_cast<uInt>(n));
        total += static_cast<ZPOS64_T>(n);
    }
    int closed = ::unzCloseCurrentFile(zf);
    if (closed == UNZ_CRCERROR) return fail(&why, "CRC mismatch");
    if (closed != UNZ_OK) return fail(&why, "cannot close the entry (error " + std::to_string(closed) + ")");
    if (total != size)
        return fail(&why, "data ends after " + std::to_string(total) + " of " + std::to_string(size) + " bytes");
    if (crc != entry.info.crc) return fail(&why, "CRC mismatch");
    if (::close(out.release()) != 0) return fail(&why, "cannot write " + leaf + ": " + errno_text());
    // Replaces a file or a link of that name (never what a link points to); a folder stays.
    if (::renameat(dir.get(), part.c_str(), dir.get(), leaf.c_str()) != 0)
        return fail(&why, "cannot replace " + leaf + ": " + errno_text());
    partial.keep();
    return 0;
}

// Refuses an archive whose entries together declare more bytes than the folder's file system
// has free, before anything is written: a package (or a small archive that inflates a
// thousandfold) must not fill the disk that the logs and the report are written to.
int check_room(unzFile zf, ZPOS64_T entries, int root, std::vector<char>& name_buf,
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
    struct statvfs fs {};
    // A file system that tells no sizes (f_blocks 0: some FUSE mounts) is not taken as full.
    if (::fstatvfs(root, &fs) == 0 && fs.f_blocks > 0) {
        const unsigned long long room = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
        if (declared > room)
            return fail(why, "the package unpacks to " + std::to_string(declared) + " bytes; its folder has " +
                                 std::to_string(room) + " bytes free");
    }
    return ::unzGoToFirstFile(zf) == UNZ_OK ? 0 : fail(why, "cannot read the archive's directory");
}

}  // namespace

int unzip_package(const std::string& archive, const std::string& dest, std::string* why) {
    ZipArchive zip(archive);
    if (!zip.valid()) return fail(why, "not a zip archive or cannot be read");
    unzFile zf = zip.get();
    unz_global_info64 gi{};
    if (::unzGetGlobalInfo64(zf, &gi) != UNZ_OK) return fail(why, "cannot read the archive's directory");

    const std::string root_path = dest.empty() ? std::string("/") : dest;
    UniqueFd root(::open(root_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.valid()) return fail(why, "cannot open folder " + root_path + ": " + errno_text());

    // An entry name and an extra field have at most 65535 bytes each.
    std::vector<char> name_buf(0x10000 + 1);
    std::vector<char> extra_buf(0x10000);
    if (check_room(zf, gi.number_entry, root.get(), name_buf, extra_buf, why) != 0) return -1;

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
        if (root_path.size() + 1 + name.size() >= PATH_MAX)
            return fail(why, "entry name too long: " + name.substr(0, 64) + "...");
        EntryPath path;
        if (!split_entry_name(name, info.external_fa == 0x10, path, err)) return fail(why, err);

        if (path.is_folder) {
            // A folder that cannot be created is no failure by itself; a file inside it is.
            open_folder_chain(root.get(), path.components, path.components.size(), err);
            continue;
        }
        if (extract_file(zip, entry, path, root.get(), buf, err) != 0)
            return fail(why, name + ": " + err);
    }
    return 0;
}

}  // namespace quillon
