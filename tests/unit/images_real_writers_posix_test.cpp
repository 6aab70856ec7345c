// SPDX-License-Identifier: Apache-2.0
// Packages written by the zip tools installers meet (Info-ZIP, Python's zipfile, 7-Zip,
// libarchive), each run here on one set of images: the keyword passes, the bytes and the reboot
// flags must come out the same whatever wrote the archive.
#include <gtest/gtest.h>

#include <cstdlib>

#include "images/package_import.h"
#include "images_test_support.h"
#include "platform/run_program.h"

namespace quillon {
namespace {

using namespace test;
namespace fs = std::filesystem;

// The image folder of every fixture. Pass 1 finds BOOT ("1_") and SYSTEM ("3_") but no KERNEL, so
// pass 2 runs: KERNEL from "kernel", SYSTEM overwritten by "rootfs" (after "system"), FW from
// "brelk" (after "K41QX"); "uboot" matches nothing, so BOOT keeps its pass-1 file. A file in a
// sub-folder is never looked at.
const Entries kImages = {
    {"brelk_upgrade_image/1_boot.img", random_bytes(300000, 11)},
    {"brelk_upgrade_image/3_old.img", std::string(70000, 'S')},
    {"brelk_upgrade_image/kernel_reboot.img", random_bytes(5000, 12)},
    {"brelk_upgrade_image/system.img", "system"},
    {"brelk_upgrade_image/rootfs.img", random_bytes(1 << 20, 13) + std::string(1 << 20, '\0')},
    {"brelk_upgrade_image/K41QX_fw.img", "k41qx"},
    {"brelk_upgrade_image/brelk_fw.img", random_bytes(4099, 14)},
    {"brelk_upgrade_image/extra/4_hidden.img", "not a slot"},
};
const char* const kExpected[4] = {"1_boot.img", "kernel_reboot.img", "rootfs.img", "brelk_fw.img"};
const RebootFlags kExpectedReboot = {0, 1, 0, 0};

// Python that writes argv[3:] (relative names, read from the current folder) into argv[2], in
// the mode argv[1].
const char* const kPyWrite = R"(
import sys, zipfile
mode = sys.argv[1]
method = zipfile.ZIP_STORED if mode == 'stored' else zipfile.ZIP_DEFLATED
with zipfile.ZipFile(sys.argv[2], 'w', method) as z:
    for name in sys.argv[3:]:
        data = open(name, 'rb').read()
        if mode == 'zip64':
            with z.open(zipfile.ZipInfo(name), 'w', force_zip64=True) as f:
                f.write(data)
        else:
            z.write(name, name.replace('/', '\\') if mode == 'backslash' else name)
)";

bool in_ci() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// A writer that is not installed fails the test under CI and skips it elsewhere.
#define REQUIRE_TOOL(tool)                                                            \
    do {                                                                              \
        if (find_executable(tool).empty()) {                                          \
            if (in_ci()) FAIL() << tool << " is missing (scripts/setup installs it)"; \
            GTEST_SKIP() << tool << " is missing";                                    \
        }                                                                             \
    } while (0)

class RealWriters : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& [name, data] : kImages) write_file(src / name, data);
        fs::create_directories(pkg);
        write_file(py, kPyWrite);
    }

    // Runs `script` with sh in the source folder ($1: the archive to write), as the tool would be
    // run by hand there.
    void write_with(const std::string& script, const std::vector<std::string>& env = {}) {
        std::vector<std::string> argv = {"env"};
        argv.insert(argv.end(), env.begin(), env.end());
        for (const std::string& a :
             {std::string("sh"), std::string("-c"), "cd \"$0\" && " + script, src.path(), zip})
            argv.push_back(a);
        const ProgramResult r = run_program(argv, std::chrono::seconds(120));
        ASSERT_TRUE(r.succeeded()) << script << ": " << r.error << r.output;
        ASSERT_TRUE(fs::is_regular_file(zip)) << script;
    }

    // The import of the archive written last: the slots, every file byte for byte, the flags.
    void expect_imported(const Entries& images = kImages) {
        SlotPaths slots{"old0", "old1", "old2", "old3"};
        RebootFlags flags{9, 9, 9, 9};
        std::string unzip_dir;
        RecordingSink sink;
        ASSERT_EQ(import_package_files(zip, unzip_dir, slots, flags, sink), ImportStatus::imported)
            << (sink.debug_lines.empty() ? std::string() : sink.debug_lines.back());
        EXPECT_TRUE(sink.messages.empty());
        const std::string folder = pkg + "/brelk_upgrade_image";
        EXPECT_EQ(unzip_dir, folder);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(slots[i], folder + "/" + kExpected[i]) << i;
        EXPECT_EQ(flags, kExpectedReboot);
        for (const auto& [name, data] : images) {
            ASSERT_TRUE(fs::is_regular_file(pkg + "/" + name)) << name;
            EXPECT_TRUE(read_file(pkg + "/" + name) == data) << name << " differs";
        }
    }

    std::string names() const {
        std::string out;
        for (const auto& e : kImages) out += " '" + e.first + "'";
        return out;
    }

    TempDir src;
    TempDir t;
    std::string pkg = t / "pkg";
    std::string zip = pkg + "/package.zip";
    std::string py = t / "write.py";
};

TEST_F(RealWriters, InfoZip) {
    REQUIRE_TOOL("zip");
    write_with("zip -q -r \"$1\" brelk_upgrade_image");
    expect_imported();
}

// Zip64 records for every entry (the 32-bit sizes read 0xFFFFFFFF), as .NET and 7-Zip write them.
TEST_F(RealWriters, InfoZipForcedZip64) {
    REQUIRE_TOOL("zip");
    write_with("zip -q -r -fz \"$1\" brelk_upgrade_image");
    expect_imported();
}

// Written to a pipe, zip cannot go back to the headers: every entry carries a data descriptor.
TEST_F(RealWriters, InfoZipStreamedWithDataDescriptors) {
    REQUIRE_TOOL("zip");
    write_with("zip -q -r - brelk_upgrade_image | cat > \"$1\"");
    // The general-purpose flags of the first image's local header (30 bytes before its name).
    const std::string z = read_file(zip);
    const std::size_t name_at = z.find("brelk_upgrade_image/1_boot.img");
    ASSERT_TRUE(name_at != std::string::npos && name_at >= 30);
    EXPECT_EQ(z[name_at - 30 + 6] & 8, 8) << "the entry has no data descriptor";
    expect_imported();
}

TEST_F(RealWriters, PythonZipfileStoredDeflatedAndForcedZip64) {
    REQUIRE_TOOL("python3");
    for (const char* mode : {"stored", "deflated", "zip64"}) {
        SCOPED_TRACE(mode);
        fs::remove_all(pkg);
        fs::create_directories(pkg);
        write_with("python3 '" + py + "' " + mode + " \"$1\"" + names());
        expect_imported();
    }
}

TEST_F(RealWriters, SevenZip) {
    REQUIRE_TOOL("7z");
    write_with("7z a -tzip -bd \"$1\" brelk_upgrade_image > /dev/null");
    expect_imported();
}

TEST_F(RealWriters, LibarchiveBsdtar) {
    REQUIRE_TOOL("bsdtar");
    write_with("bsdtar --format zip -cf \"$1\" brelk_upgrade_image");
    expect_imported();
}

// Older Windows tools separate folders with "\": the images land in the folder, not beside it
// under names holding a backslash.
TEST_F(RealWriters, BackslashSeparatorsLandInTheFolder) {
    REQUIRE_TOOL("python3");
    write_with("python3 '" + py + "' backslash \"$1\"" + names());
    expect_imported();
    for (const auto& e : fs::directory_iterator(pkg))
        EXPECT_EQ(e.path().filename().string().find('\\'), std::string::npos) << e.path();
}

// Written by a Chinese Windows tool: the name in GBK, the UTF-8 flag clear (Info-ZIP in the C
// locale keeps the name's bytes as they are).
TEST_F(RealWriters, GbkNamesWithTheUtf8FlagClear) {
    REQUIRE_TOOL("zip");
    const std::string gbk = "brelk_upgrade_image/brelk_\xc3\xc5\xbf\xda\xbb\xfa.img";
    const std::string utf8 = "brelk_upgrade_image/brelk_\xe9\x97\xa8\xe5\x8f\xa3\xe6\x9c\xba.img";
    fs::remove(src / "brelk_upgrade_image/brelk_fw.img");
    const std::string data = random_bytes(20000, 15);
    write_file(src / gbk, data);
    write_with("zip -q -r \"$1\" brelk_upgrade_image", {"LC_ALL=C"});
    const std::string z = read_file(zip);
    ASSERT_NE(z.find(gbk), std::string::npos) << "the archive does not hold the GBK name";

    SlotPaths slots;
    RebootFlags flags{};
    std::string unzip_dir;
    RecordingSink sink;
    ASSERT_EQ(import_package_files(zip, unzip_dir, slots, flags, sink), ImportStatus::imported);
    EXPECT_EQ(slots[3], pkg + "/" + utf8);
    EXPECT_TRUE(read_file(pkg + "/" + utf8) == data);
    EXPECT_EQ(slots[1], pkg + "/brelk_upgrade_image/kernel_reboot.img");
    EXPECT_EQ(flags, kExpectedReboot);
}

// An archive over 4 GiB: the images behind the 4 GiB mark are found only through the Zip64 offset
// of their local headers. The space between the entries is a hole, so the file takes a few
// kilobytes of disk whatever its length.
TEST_F(RealWriters, ImagesBeyondFourGibibytes) {
    REQUIRE_TOOL("python3");
    const std::string big = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    names = sys.argv[2:]
    z.write(names[0], names[0])
    z.start_dir += 1 << 32  # unreferenced bytes: the next entries lie beyond 4 GiB
    for i, name in enumerate(names[1:]):
        z.write(name, name, zipfile.ZIP_STORED if i % 2 else zipfile.ZIP_DEFLATED)
)";
    write_file(t / "big.py", big);
    write_with("python3 '" + t / "big.py" + "' \"$1\"" + names());
    ASSERT_GT(fs::file_size(zip), std::uintmax_t(1) << 32);
    expect_imported();
}

// Info-ZIP's Unicode Path field names the entry when it was written for the header's name.
TEST_F(RealWriters, UnicodePathFieldNamesTheEntry) {
    REQUIRE_TOOL("python3");
    const std::string script = R"(
import sys, struct, zipfile, zlib
def upath(raw, name):
    body = b'\x01' + struct.pack('<I', zlib.crc32(raw)) + name.encode('utf-8')
    return struct.pack('<HH', 0x7075, len(body)) + body
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for header, unicode_name, crc_of, data in (
            ('brelk_upgrade_image/4_fw.img', 'brelk_upgrade_image/4_门口机.img', 'brelk_upgrade_image/4_fw.img', b'fw'),
            ('brelk_upgrade_image/1_boot.img', 'brelk_upgrade_image/1_other.img', 'stale name', b'boot')):
        info = zipfile.ZipInfo(header)
        info.extra = upath(crc_of.encode(), unicode_name)
        z.writestr(info, data)
)";
    write_file(t / "upath.py", script);
    write_with("python3 '" + t / "upath.py" + "' \"$1\"");
    SlotPaths slots;
    RebootFlags flags{};
    std::string unzip_dir;
    RecordingSink sink;
    ASSERT_EQ(import_package_files(zip, unzip_dir, slots, flags, sink), ImportStatus::imported);
    const std::string folder = pkg + "/brelk_upgrade_image/";
    EXPECT_EQ(slots[3], folder + "4_\xe9\x97\xa8\xe5\x8f\xa3\xe6\x9c\xba.img");
    EXPECT_EQ(read_file(slots[3]), "fw");
    // The field's CRC is not that of the header's name: the header's name counts.
    EXPECT_EQ(slots[0], folder + "1_boot.img");
    EXPECT_FALSE(fs::exists(folder + "4_fw.img"));
    EXPECT_FALSE(fs::exists(folder + "1_other.img"));
}

}  // namespace
}  // namespace quillon
