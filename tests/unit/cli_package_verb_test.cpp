// SPDX-License-Identifier: Apache-2.0
// The headless "package" verb: table, JSON and exit codes.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <sstream>

#include "cli/verb_package.h"
#include "images_test_support.h"

namespace quillon {
namespace {

using namespace test;
namespace fs = std::filesystem;

struct VerbRun {
    int code;
    std::string out, err;
};

VerbRun run_verb(const std::string& pkg, bool json) {
    std::ostringstream out, err;
    int code = run_package_verb({pkg, json}, out, err);
    return {code, out.str(), err.str()};
}

TEST(PackageVerb, PrintsTableOfFourSlots) {
    TempDir t;
    const std::string zip = t / "fw.zip";
    make_zip(zip, {{"brelk_upgrade_image/1_uboot.img", "b"},
                   {"brelk_upgrade_image/4_reboot_app.img", "a"}});
    VerbRun r = run_verb(zip, false);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    const std::string f = native_path(t / "brelk_upgrade_image");
    EXPECT_NE(r.out.find("BOOT    no     " + f + native_path("/1_uboot.img\n")), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("KERNEL  no     \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FW      yes    " + f + native_path("/4_reboot_app.img\n")),
              std::string::npos)
        << r.out;
}

// The text of `s` inside a JSON string: quotes and backslashes escaped.
std::string json_inner(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

TEST(PackageVerb, JsonNamesEverySlotAndEscapesPaths) {
    TempDir t;
    // A folder name JSON must escape: a quote. Windows forbids quotes in names; there the paths
    // bring the backslash between folders, which JSON escapes as well.
    const std::string dir = t / (path_separator() == '/' ? "quote\"d" : "back slash");
    fs::create_directories(fs_path(dir));
    make_zip(dir + "/fw.zip", {{"brelk_upgrade_image/2_kernel.img", "k"}});
    VerbRun r = run_verb(dir + "/fw.zip", true);
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string esc = json_inner(native_path(dir));
    const std::string sep = json_inner(std::string(1, path_separator()));
    EXPECT_NE(esc.find('\\'), std::string::npos) << "the path holds something to escape";
    EXPECT_EQ(r.out,
              "{\"package\":\"" + esc + sep + "fw.zip\",\"unzip_dir\":\"" + esc + sep +
                  "brelk_upgrade_image\",\"ok\":true,\"slots\":["
                  "{\"slot\":\"BOOT\",\"role\":\"boot\",\"path\":\"\",\"reboot_after\":false},"
                  "{\"slot\":\"KERNEL\",\"role\":\"kernel\",\"path\":\"" +
                  esc + sep + "brelk_upgrade_image" + sep +
                  "2_kernel.img\",\"reboot_after\":false},"
                  "{\"slot\":\"SYSTEM\",\"role\":\"system\",\"path\":\"\",\"reboot_after\":false},"
                  "{\"slot\":\"FW\",\"role\":\"app\",\"path\":\"\",\"reboot_after\":false}]}\n");
}

TEST(PackageVerb, FailuresExitNonZeroWithTheMessage) {
    TempDir t;
    VerbRun r = run_verb(t / "missing.zip", true);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("no such file"), std::string::npos);
    EXPECT_NE(r.out.find("\"ok\":false"), std::string::npos);

    write_file(t / "bad.zip", "garbage");
    r = run_verb(t / "bad.zip", false);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("UnzipFile error."), std::string::npos) << r.err;

    make_zip(t / "none.zip", {{"brelk_upgrade_image/readme.txt", "no image here"}});
    r = run_verb(t / "none.zip", true);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("\"ok\":false"), std::string::npos);
    EXPECT_NE(r.err.find("matches a slot"), std::string::npos);
}

// The folder beside a package is emptied before the import; a name that is no package file
// must not cost it: the unpacked folder itself named by mistake, or a mistyped package name.
TEST(PackageVerb, ANameThatIsNoFileDeletesNothing) {
    TempDir t;
    const std::string images = t / "brelk_upgrade_image";
    write_file(images + "/1_uboot.img", "unpacked before");
    for (const std::string& name : {images, images + "/", t / "fw_v2.zip"}) {
        VerbRun r = run_verb(name, false);
        EXPECT_NE(r.code, 0) << name;
        EXPECT_NE(r.err.find("no such file"), std::string::npos) << r.err;
        EXPECT_EQ(read_file(images + "/1_uboot.img"), "unpacked before") << name;
    }
}

// Entry names are the package maker's: control sequences in them must not reach the terminal.
// Linux writes such a name; Windows takes no control characters in names, and the package fails
// with a message that must not carry them either.
TEST(PackageVerb, EntryNamesCannotSteerTheTerminal) {
    TempDir t;
    make_zip(t / "fw.zip", {{"brelk_upgrade_image/1_\x1b]2;owned\x07.img", "b"}});
    const bool names_take_controls = path_separator() == '/';
    for (bool json : {false, true}) {
        VerbRun r = run_verb(t / "fw.zip", json);
        if (names_take_controls) {
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_NE(r.out.find("1_"), std::string::npos) << r.out;
        } else {
            EXPECT_NE(r.code, 0) << r.out;
            EXPECT_NE(r.err.find("1_"), std::string::npos) << r.err;
        }
        for (const std::string& text : {r.out, r.err}) {
            EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
            EXPECT_EQ(text.find('\x07'), std::string::npos) << text;
        }
    }
}

TEST(PackageVerb, RelativePathIsTakenFromTheWorkingFolder) {
    TempDir t;
    make_zip(t / "fw.zip", {{"brelk_upgrade_image/3_rootfs.img", "s"}});
    const fs::path cwd = fs::current_path();
    fs::current_path(t.path());
    VerbRun r = run_verb("fw.zip", false);
    fs::current_path(cwd);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(native_path(t / "brelk_upgrade_image/3_rootfs.img")), std::string::npos)
        << r.out;
}

TEST(PackageVerb, CommandLineWiring) {
    CLI::App app;
    PackageVerbOptions opts;
    CLI::App* sub = add_package_verb(app, opts);
    std::vector<std::string> args = {"--json", "/x/fw.zip", "package"};  // CLI11 parses reversed
    app.parse(args);
    EXPECT_TRUE(sub->parsed());
    EXPECT_EQ(opts.package, "/x/fw.zip");
    EXPECT_TRUE(opts.json);
}

}  // namespace
}  // namespace quillon
