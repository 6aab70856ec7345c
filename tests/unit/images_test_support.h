// SPDX-License-Identifier: Apache-2.0
#pragma once
// Shared by the images tests: temporary folders, real zip archives written with minizip's zip
// API, and snapshots of a folder tree to prove that nothing changed.
#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "images/message_sink.h"
#include "platform/files.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace quillon::test {

namespace fs = std::filesystem;

// `path` with the system's separator between folders ('\\' on Windows), as the program shows
// the paths it makes.
inline std::string native_path(std::string path) {
    for (char& c : path)
        if (c == '/') c = path_separator();
    return path;
}

inline std::string random_bytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xff);
    return s;
}

inline uint32_t crc_of(const std::string& data) {
    return static_cast<uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Writes a zip archive entry by entry. Every call checks minizip's result.
class ZipWriter {
public:
    explicit ZipWriter(const std::string& path)
        : zf_(::zipOpen64(path.c_str(), APPEND_STATUS_CREATE)) {
        EXPECT_NE(zf_, nullptr) << path;
    }
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;
    ~ZipWriter() { close(); }

    struct Options {
        int method = Z_DEFLATED;  // or 0 = stored
        int level = Z_DEFAULT_COMPRESSION;
        unsigned long external_fa = 0;
        unsigned long version_made_by = 0;  // 0 = minizip's default
        bool zip64 = false;
    };

    void add(const std::string& name, const std::string& data) { add(name, data, Options{}); }
    void add(const std::string& name, const std::string& data, const Options& o) {
        open_entry(name, o, false);
        if (!data.empty()) {
            EXPECT_EQ(::zipWriteInFileInZip(zf_, data.data(), static_cast<unsigned>(data.size())),
                      ZIP_OK);
        }
        EXPECT_EQ(::zipCloseFileInZip(zf_), ZIP_OK);
    }
    // A folder entry: the name ends with "/".
    void add_folder(const std::string& name) {
        Options o;
        o.method = 0;
        o.external_fa = 0x10;
        open_entry(name, o, false);
        EXPECT_EQ(::zipCloseFileInZip(zf_), ZIP_OK);
    }
    // An entry whose header states `declared_size` and `crc` whatever `data` inflates to.
    void add_raw_deflated(const std::string& name, const std::string& data, uint64_t declared_size,
                          uint32_t crc, bool zip64) {
        // Compress `data` as a raw deflate stream, as a zip entry holds it.
        z_stream zs{};
        EXPECT_EQ(::deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                                 Z_DEFAULT_STRATEGY),
                  Z_OK);
        std::string out(::deflateBound(&zs, data.size()) + 16, '\0');
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        zs.avail_in = static_cast<uInt>(data.size());
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(::deflate(&zs, Z_FINISH), Z_STREAM_END);
        out.resize(zs.total_out);
        ::deflateEnd(&zs);

        Options o;
        o.zip64 = zip64;
        open_entry(name, o, true);
        EXPECT_EQ(::zipWriteInFileInZip(zf_, out.data(), static_cast<unsigned>(out.size())),
                  ZIP_OK);
        EXPECT_EQ(::zipCloseFileInZipRaw64(zf_, declared_size, crc), ZIP_OK);
    }
    void close() {
        if (zf_) {
            EXPECT_EQ(::zipClose(zf_, nullptr), ZIP_OK);
        }
        zf_ = nullptr;
    }

private:
    void open_entry(const std::string& name, const Options& o, bool raw) {
        zip_fileinfo zi{};
        zi.external_fa = o.external_fa;
        int r = ::zipOpenNewFileInZip4_64(zf_, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr,
                                          o.method, o.level, raw ? 1 : 0, -MAX_WBITS, 8,
                                          Z_DEFAULT_STRATEGY, nullptr, 0, o.version_made_by, 0,
                                          o.zip64 ? 1 : 0);
        EXPECT_EQ(r, ZIP_OK) << name;
    }

    zipFile zf_;
};

// One file of an archive: name and content.
using Entries = std::vector<std::pair<std::string, std::string>>;

inline void make_zip(const std::string& path, const Entries& entries) {
    ZipWriter w(path);
    for (const auto& [name, data] : entries) w.add(name, data);
}

// Everything below `root` (relative path -> kind, size, content digest, modification time),
// without following links.
struct NodeState {
    char kind;
    uintmax_t size;
    uint32_t crc;
    std::string link;
    int64_t mtime_ns;
    bool operator==(const NodeState&) const = default;
};
using TreeSnapshot = std::map<std::string, NodeState>;

inline TreeSnapshot snapshot(const std::string& root) {
    TreeSnapshot snap;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path& p = it->path();
        const fs::file_status st = fs::symlink_status(p);
        NodeState n{};
        if (fs::is_symlink(st)) {
            // The link itself: its target text (std::filesystem has no time of a link itself).
            n.kind = 'l';
            n.link = fs::read_symlink(p).string();
        } else if (fs::is_directory(st)) {
            n.kind = 'd';
            n.mtime_ns = fs::last_write_time(p).time_since_epoch() / std::chrono::nanoseconds(1);
        } else {
            n.kind = 'f';
            n.size = fs::file_size(p);
            n.crc = crc_of(read_file(p.string()));
            n.mtime_ns = fs::last_write_time(p).time_since_epoch() / std::chrono::nanoseconds(1);
        }
        snap[fs::relative(p, root).string()] = n;
    }
    return snap;
}

// Records what the import says.
class RecordingSink : public MessageSink {
public:
    void message(const std::string& text) override { messages.push_back(text); }
    void debug(const std::string& text) override { debug_lines.push_back(text); }
    std::vector<std::string> messages;
    std::vector<std::string> debug_lines;
};

}  // namespace quillon::test
