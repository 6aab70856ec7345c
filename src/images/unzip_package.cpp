#include "images/unzip_package.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unzip.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "images/zip_entry_name.h"
#include "platform/unique_fd.h"

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
int extract_file(unzFile zf, const unz_file_info64& info, const EntryPath& path, int root,
                 std::vector<unsigned char>& buf, std::string& why) {
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

    if (::unzOpenCurrentFile(zf) != UNZ_OK) return fail(&why, "cannot open the entry's data");
    ZPOS64_T total = 0;
    for (;;) {
        int n = ::unzReadCurrentFile(zf, buf.data(), static_cast<unsigned>(buf.size()));
        if (n < 0) {
            ::unzCloseCurrentFile(zf);
            return fail(&why, "corrupt data (error " + std::to_string(n) + ")");
        }
        if (n == 0) break;
        if (!write_all(out.get(), buf.data(), static_cast<std::size_t>(n))) {
            ::unzCloseCurrentFile(zf);
            return fail(&why, "cannot write " + leaf + ": " + errno_text());
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
int check_room(unzFile zf, ZPOS64_T entries, int root, std::string* why) {
    if (entries == 0) return 0;
    unsigned long long declared = 0;
    for (ZPOS64_T i = 0; i < entries; ++i) {
        if (i > 0 && ::unzGoToNextFile(zf) != UNZ_OK) break;  // the extraction says what is wrong
        unz_file_info64 info{};
        if (::unzGetCurrentFileInfo64(zf, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        declared += info.uncompressed_size;
        if (declared < info.uncompressed_size) declared = ~0ull;  // saturate
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
    UniqueUnz zf(::unzOpen64(archive.c_str()));
    if (!zf) return fail(why, "not a zip archive or cannot be read");
    unz_global_info64 gi{};
    if (::unzGetGlobalInfo64(zf.get(), &gi) != UNZ_OK) return fail(why, "cannot read the archive's directory");

    const std::string root_path = dest.empty() ? std::string("/") : dest;
    UniqueFd root(::open(root_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.valid()) return fail(why, "cannot open folder " + root_path + ": " + errno_text());

    if (check_room(zf.get(), gi.number_entry, root.get(), why) != 0) return -1;

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
        if (root_path.size() + 1 + name.size() >= PATH_MAX)
            return fail(why, "entry name too long: " + name.substr(0, 64) + "...");
        EntryPath path;
        std::string err;
        if (!split_entry_name(name, info.external_fa == 0x10, path, err)) return fail(why, err);

        if (path.is_folder) {
            // A folder that cannot be created is no failure by itself; a file inside it is.
            open_folder_chain(root.get(), path.components, path.components.size(), err);
            continue;
        }
        if (extract_file(zf.get(), info, path, root.get(), buf, err) != 0)
            return fail(why, name + ": " + err);
    }
    return 0;
}

}  // namespace quillon
