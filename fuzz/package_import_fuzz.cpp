// SPDX-License-Identifier: Apache-2.0
// libFuzzer target: any bytes, written as a package and imported as the window does. Besides the
// sanitizers' findings, it aborts when the import writes outside the package's folder, leaves a
// link behind, or fills a slot with anything but a regular file of the image folder.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "images/folder_ops.h"
#include "images/package_import.h"

namespace {

namespace fs = std::filesystem;

class QuietSink : public quillon::MessageSink {
public:
    void message(const std::string&) override {}
};

struct Workspace {
    std::string base, pkg, outside, sentinel;
    Workspace() {
        char tmpl[] = "/tmp/quillon-fuzz-XXXXXX";
        if (!::mkdtemp(tmpl)) std::abort();
        base = tmpl;
        pkg = base + "/pkg";
        outside = base + "/outside";
        sentinel = outside + "/sentinel";
        fs::create_directories(outside);
        std::ofstream(sentinel) << "sentinel";
    }
    ~Workspace() {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "package_import_fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Workspace& w = workspace();
    fs::create_directories(w.pkg);
    const std::string zip = w.pkg + "/package.zip";
    {
        std::ofstream out(zip, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    quillon::SlotPaths slots;
    quillon::RebootFlags flags{};
    std::string unzip_dir;
    QuietSink sink;
    quillon::delete_previous_import(zip);
    quillon::ImportStatus st = quillon::import_package_files(zip, unzip_dir, slots, flags, sink);

    const std::string folder = w.pkg + "/brelk_upgrade_image";
    check(st != quillon::ImportStatus::no_package, "package reported missing");
    for (int i = 0; i < quillon::kSlotCount; ++i) {
        if (slots[i].empty()) continue;
        check(st == quillon::ImportStatus::imported, "slot filled by a failed import");
        check(slots[i].rfind(folder + "/", 0) == 0, "slot outside the image folder");
        check(slots[i].find('/', folder.size() + 1) == std::string::npos, "slot in a sub-folder");
        struct stat sb {};
        check(::lstat(slots[i].c_str(), &sb) == 0 && S_ISREG(sb.st_mode),
              "slot is not a regular file");
    }
    // Nothing beside the package's folder, the sentinel untouched, no link anywhere.
    for (const auto& e : fs::directory_iterator(w.base))
        check(e.path() == w.pkg || e.path() == w.outside, "file written beside the package folder");
    for (const auto& e : fs::directory_iterator(w.outside))
        check(e.path() == w.sentinel, "file written outside");
    std::ifstream in(w.sentinel);
    std::string text;
    std::getline(in, text);
    check(text == "sentinel", "sentinel changed");
    for (const auto& e : fs::recursive_directory_iterator(w.pkg))
        check(!e.is_symlink(), "link created");

    check(quillon::delete_tree(w.pkg), "package folder could not be deleted");
    return 0;
}
