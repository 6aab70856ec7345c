// SPDX-License-Identifier: Apache-2.0
// Unpacking real archives: exact contents, and hostile or broken archives that must fail cleanly
// without writing anything outside the package's folder. (Links already in the package folder:
// images_unzip_posix_test.cpp.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "images/unzip_package.h"
#include "images_test_support.h"
#include "images_unzip_fixture.h"

// The largest single allocation made through operator new, to show that an entry's declared size
// never decides how much memory is taken.
static std::atomic<std::size_t> g_largest_new{0};

void* operator new(std::size_t n) {
    std::size_t seen = g_largest_new.load();
    while (n > seen && !g_largest_new.compare_exchange_weak(seen, n)) {}
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
// GCC pairs the free() below with the operator new it sees inlined elsewhere and warns, though
// this file replaces both halves consistently.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace quillon {
namespace {

using namespace test;
namespace fs = std::filesystem;

TEST_F(UnzipTest, FilesAreByteIdenticalWhateverTheirSize) {
    const Entries entries = {
        {"brelk_upgrade_image/empty.img", ""},
        {"brelk_upgrade_image/small.img", "hello"},
        {"brelk_upgrade_image/1_uboot.img", random_bytes(kUnzipChunk * 4 + 123, 1)},
        {"brelk_upgrade_image/zeros.img", std::string(3 * 1024 * 1024 + 7, '\0')},
        {"top_level.txt", "beside the archive"},
        {"docs/deep/er/readme.txt", random_bytes(kUnzipChunk - 1, 2)},
    };
    {
        ZipWriter w(zip);
        for (const auto& [n, d] : entries) w.add(n, d);
        ZipWriter::Options stored;
        stored.method = 0;
        w.add("brelk_upgrade_image/stored.img", random_bytes(kUnzipChunk + 1, 3), stored);
        w.add_folder("empty_folder/");
    }
    ASSERT_EQ(unzip_package(zip, pkg), 0);
    for (const auto& [n, d] : entries) EXPECT_EQ(read_file(pkg + "/" + n), d) << n;
    EXPECT_EQ(read_file(pkg + "/brelk_upgrade_image/stored.img"), random_bytes(kUnzipChunk + 1, 3));
    EXPECT_TRUE(fs::is_directory(pkg + "/empty_folder"));
}

TEST_F(UnzipTest, ExistingFilesAreReplacedNotOverwrittenInPlace) {
    // A longer file of the same name: the result holds the entry's bytes only.
    write_file(pkg + "/notes.txt", std::string(10000, 'x'));
    // A hard link to a file outside: replacing the name must not write through the link.
    std::error_code ec;
    fs::create_hard_link(outside + "/sentinel.txt", pkg + "/linked.txt", ec);
    ASSERT_FALSE(ec) << ec.message();
    before = snapshot(outside);
    make_zip(zip, {{"notes.txt", "short"}, {"linked.txt", "new text"}});
    ASSERT_EQ(unzip_package(zip, pkg), 0);
    EXPECT_EQ(read_file(pkg + "/notes.txt"), "short");
    EXPECT_EQ(read_file(pkg + "/linked.txt"), "new text");
    EXPECT_EQ(read_file(outside + "/sentinel.txt"), "do not touch");
}

TEST_F(UnzipTest, AFailedEntryLeavesTheFileItWouldHaveReplaced) {
    write_file(pkg + "/notes.txt", "the old notes");
    const std::string data = random_bytes(50000, 3);
    {
        ZipWriter w(zip);
        w.add_raw_deflated("notes.txt", data, data.size(), crc_of(data) ^ 1, false);
    }
    expect_refused("CRC");
    EXPECT_EQ(read_file(pkg + "/notes.txt"), "the old notes");
    for (const auto& e : fs::directory_iterator(pkg))
        EXPECT_TRUE(e.path().filename() == "notes.txt" || e.path().filename() == "package.zip")
            << e.path();
}

// A small archive that declares a thousandfold its size must not fill the disk: refused before
// anything is written.
TEST_F(UnzipTest, EntriesDeclaringMoreThanTheFreeSpaceAreRefusedBeforeWriting) {
    const std::string data(1000, 'a');
    const uint64_t each = 0xfffffffeu;  // the most a plain entry can declare
    const uint64_t count = fs::space(pkg).available / each + 2;
    {
        ZipWriter w(zip);
        w.add_raw_deflated("brelk_upgrade_image/1_uboot.img", data, data.size(), crc_of(data),
                           false);
        for (uint64_t i = 0; i < count; ++i)
            w.add_raw_deflated("brelk_upgrade_image/" + std::to_string(i) + ".img", data, each,
                               crc_of(data), false);
    }
    expect_refused("bytes free");
    EXPECT_FALSE(fs::exists(pkg + "/brelk_upgrade_image"));
}

// A size beyond 32 bits is declared in the entry's Zip64 field; the room check reads it there.
TEST_F(UnzipTest, AZip64SizeBeyondTheFreeSpaceIsRefusedBeforeWriting) {
    const std::string data(1000, 'a');
    const uint64_t declared = fs::space(pkg).available + (uint64_t(1) << 33);
    {
        ZipWriter w(zip);
        w.add_raw_deflated("brelk_upgrade_image/1_uboot.img", data, declared, crc_of(data), true);
    }
    expect_refused("bytes free");
    EXPECT_FALSE(fs::exists(pkg + "/brelk_upgrade_image"));
}

// Linux replaces the name of the archive being read and reads on from the open file. Windows
// replaces no file that is open: there the entry fails the package, and the archive stays.
TEST_F(UnzipTest, AnEntryNamedLikeTheArchiveDoesNotSpoilTheRest) {
    make_zip(zip, {{"package.zip", "not the archive any more"},
                   {"brelk_upgrade_image/1_uboot.img", "uboot"}});
    const std::string archive = read_file(zip);
    if (path_separator() == '/') {
        ASSERT_EQ(unzip_package(zip, pkg), 0);
        EXPECT_EQ(read_file(pkg + "/brelk_upgrade_image/1_uboot.img"), "uboot");
        EXPECT_EQ(read_file(zip), "not the archive any more");
    } else {
        std::string why;
        EXPECT_EQ(unzip_package(zip, pkg, &why), -1);
        EXPECT_NE(why.find("package.zip"), std::string::npos) << why;
        EXPECT_EQ(read_file(zip), archive);
    }
}

TEST_F(UnzipTest, NamesInTheMakersCodePageAreWrittenAsUtf8) {
    make_zip(zip,
             {{"brelk_upgrade_image/4_\xc3\xc5\xbf\xda\xbb\xfa.img", "fw"}});  // GBK, flag clear
    ASSERT_EQ(unzip_package(zip, pkg), 0);
    EXPECT_EQ(read_file(pkg + "/brelk_upgrade_image/4_\xe9\x97\xa8\xe5\x8f\xa3\xe6\x9c\xba.img"),
              "fw");
}

TEST_F(UnzipTest, ArchiveOfOneFolderUnpacksJustTheFolder) {
    {
        ZipWriter w(zip);
        w.add_folder("brelk_upgrade_image/");
    }
    EXPECT_EQ(unzip_package(zip, pkg), 0);
    EXPECT_TRUE(fs::is_directory(pkg + "/brelk_upgrade_image"));
    EXPECT_TRUE(fs::is_empty(pkg + "/brelk_upgrade_image"));
}

TEST_F(UnzipTest, NotAZipFails) {
    write_file(zip, "PK\x03\x04 this is plain text pretending to be an archive");
    expect_refused();
    write_file(zip, "");
    expect_refused();
    fs::remove(zip);
    expect_refused();
    fs::create_directory(zip);
    expect_refused();
}

TEST_F(UnzipTest, TruncatedArchivesFail) {
    const std::string good = pkg + "/good.zip";
    make_zip(good, {{"brelk_upgrade_image/1_uboot.img", random_bytes(50000, 4)},
                    {"brelk_upgrade_image/2_kernel.img", random_bytes(50000, 5)}});
    const std::string bytes = read_file(good);
    // Cuts into the central directory, into the data, and into the first header.
    for (std::size_t cut :
         {bytes.size() - 23, bytes.size() - 60, bytes.size() / 2, std::size_t{30}}) {
        write_file(zip, bytes.substr(0, cut));
        SCOPED_TRACE(cut);
        expect_refused();
    }
    fs::remove(good);
}

TEST_F(UnzipTest, CorruptedStoredDataFailsTheCrcCheck) {
    std::string data;
    for (int i = 0; i < 2000; ++i) data += "IMAGE-BLOCK-" + std::to_string(i) + ";";
    ZipWriter::Options stored;
    stored.method = 0;
    {
        ZipWriter w(zip);
        w.add("brelk_upgrade_image/0_first.img", "fine");
        w.add("brelk_upgrade_image/1_uboot.img", data, stored);
    }
    std::string bytes = read_file(zip);
    std::size_t at = bytes.find("IMAGE-BLOCK-1000;");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 3] ^= 0x01;
    write_file(zip, bytes);
    expect_refused("CRC");
    // Entries before the failure stay; the failing entry's partial file does not.
    EXPECT_EQ(read_file(pkg + "/brelk_upgrade_image/0_first.img"), "fine");
    EXPECT_FALSE(fs::exists(pkg + "/brelk_upgrade_image/1_uboot.img"));
}

TEST_F(UnzipTest, CorruptedDeflatedDataFails) {
    std::string data;
    for (int i = 0; i < 20000; ++i) data += "line " + std::to_string(i * 7919 % 10007) + "\n";
    make_zip(zip, {{"brelk_upgrade_image/2_kernel.img", data}});
    std::string bytes = read_file(zip);
    for (std::size_t off : {std::size_t{200}, bytes.size() / 3, bytes.size() / 2}) {
        std::string bad = bytes;
        bad[off] = static_cast<char>(bad[off] ^ 0x5a);
        write_file(zip, bad);
        SCOPED_TRACE(off);
        expect_refused();
        EXPECT_FALSE(fs::exists(pkg + "/brelk_upgrade_image/2_kernel.img"));
    }
}

TEST_F(UnzipTest, NamesLeadingOutsideAreRefused) {
    for (const std::string& name :
         {std::string("../outside/evil.txt"),
          std::string("brelk_upgrade_image/../../outside/evil.txt"),
          std::string("..\\outside\\evil.txt"), outside + "/abs.txt", std::string("/abs.txt")}) {
        SCOPED_TRACE(name);
        make_zip(zip, {{name, "pwned"}});
        expect_refused();
        EXPECT_FALSE(fs::exists(outside + "/evil.txt"));
        EXPECT_FALSE(fs::exists(outside + "/abs.txt"));
    }
    // A folder entry that leads outside is refused as well.
    {
        ZipWriter w(zip);
        w.add_folder("../outside/newdir/");
    }
    expect_refused();
}

TEST_F(UnzipTest, SymlinkEntriesAreRefused) {
    {
        ZipWriter w(zip);
        ZipWriter::Options link;
        link.method = 0;
        link.external_fa = static_cast<unsigned long>(kUnixLinkMode | 0777) << 16;
        link.version_made_by = 3 << 8 | 30;  // made on unix
        w.add("brelk_upgrade_image/escape", "../../outside", link);
        w.add("brelk_upgrade_image/escape/evil.txt", "pwned");
    }
    expect_refused("symbolic-link");
    EXPECT_FALSE(fs::exists(pkg + "/brelk_upgrade_image/escape"));
    EXPECT_FALSE(fs::is_symlink(pkg + "/brelk_upgrade_image/escape"));
}

TEST_F(UnzipTest, DeclaredSizeBeyondTheDataFailsWithoutAllocatingIt) {
    const std::string data(100000, 'a');
    const uint64_t four_gib = uint64_t{1} << 32;
    {
        ZipWriter w(zip);
        w.add_raw_deflated("brelk_upgrade_image/1_uboot.img", data, four_gib, crc_of(data), true);
    }
    g_largest_new = 0;
    // Where the disk has less room than that, the free-space check refuses it first.
    const bool room = fs::space(pkg).available > four_gib;
    expect_refused(room ? "data ends after 100000 of" : "bytes free");
    EXPECT_LE(g_largest_new.load(), std::size_t{1} << 20);
    EXPECT_FALSE(fs::exists(pkg + "/brelk_upgrade_image/1_uboot.img"));

    {
        ZipWriter w(zip);
        w.add_raw_deflated("brelk_upgrade_image/1_uboot.img", data, 0xfffffffeu, crc_of(data),
                           false);
    }
    expect_refused();
    EXPECT_FALSE(fs::exists(pkg + "/brelk_upgrade_image/1_uboot.img"));
}

TEST_F(UnzipTest, DeclaredSizeBelowTheDataFailsTheCrcCheck) {
    const std::string data = random_bytes(300000, 9);
    {
        ZipWriter w(zip);
        w.add_raw_deflated("brelk_upgrade_image/1_uboot.img", data, data.size() / 2, crc_of(data),
                           false);
    }
    expect_refused("CRC");
}

TEST_F(UnzipTest, DirectoryListingShorterThanDeclaredFails) {
    make_zip(zip,
             {{"brelk_upgrade_image/1_uboot.img", "u"}, {"brelk_upgrade_image/2_kernel.img", "k"}});
    std::string bytes = read_file(zip);
    const std::size_t eocd = bytes.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(eocd, std::string::npos);
    // Entries on this disk and in total: 2 -> 5000 (the old code looped on the last entry).
    for (std::size_t off : {eocd + 8, eocd + 10}) {
        bytes[off] = static_cast<char>(5000 & 0xff);
        bytes[off + 1] = static_cast<char>(5000 >> 8);
    }
    write_file(zip, bytes);
    expect_refused("declares 5000 entries");
}

TEST_F(UnzipTest, EncryptedEntriesAreRefused) {
    {
        zipFile zf = ::zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
        ASSERT_NE(zf, nullptr);
        zip_fileinfo zi{};
        const std::string data = "secret image";
        ASSERT_EQ(::zipOpenNewFileInZip3_64(zf, "brelk_upgrade_image/1_uboot.img", &zi, nullptr, 0,
                                            nullptr, 0, nullptr, Z_DEFLATED, 6, 0, -MAX_WBITS, 8,
                                            Z_DEFAULT_STRATEGY, "pw", crc_of(data), 0),
                  ZIP_OK);
        ASSERT_EQ(::zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())),
                  ZIP_OK);
        ASSERT_EQ(::zipCloseFileInZip(zf), ZIP_OK);
        ASSERT_EQ(::zipClose(zf, nullptr), ZIP_OK);
    }
    expect_refused("encrypted");
}

}  // namespace
}  // namespace quillon
