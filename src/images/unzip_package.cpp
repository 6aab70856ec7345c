#include "images/unzip_package.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
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

// Writes the current entry, a file, into `root`. Returns 0 or -1 with `why` set.
int extract_file(unzFile zf, const unz_file_info64& info, const EntryPath& path, int root,
                 std::vector<unsigned char>& buf, std::string& why) {
    const std::string& leaf = path.components.back();
    std::string err;
    UniqueFd dir = open_folder_chain(root, path.components, path.components.size() - 1, err);
    if (!dir.valid()) return fail(&why, err);

    // A file in the way is replaced, never written through: it may be a hard link to a file
    // elsewhere, or the archive being read.
    if (::unlinkat(dir.get(), leaf.c_str(), 0) != 0 && errno != ENOENT)
        return fail(&why, "cannot replace " + leaf + ": " + errno_text());
    UniqueFd out(::openat(dir.get(), leaf.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!out.valid()) return fail(&why, "cannot create " + leaf + ": " + errno_text());
    PartialFile partial(dir.get(), leaf);

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
    partial.keep();
    return 0;
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
