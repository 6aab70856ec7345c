// SPDX-License-Identifier: Apache-2.0
#include "images/package_import.h"

#include "images/find_by_prefix.h"
#include "images/folder_ops.h"
#include "images/unzip_package.h"

namespace quillon {
namespace {

// Where the package's folder ends: its last separator ("/"; also "\\" on Windows).
std::size_t last_separator(const std::string& path) {
    for (std::size_t i = path.size(); i-- > 0;)
        if (is_path_separator(path[i])) return i;
    return std::string::npos;
}

}  // namespace

std::string extraction_folder(const std::string& package_path) {
    const std::size_t slash = last_separator(package_path);
    if (slash == std::string::npos) return {};
    return package_path.substr(0, slash + 1) + kImageFolderName;
}

void delete_previous_import(const std::string& package_field) {
    std::string folder = extraction_folder(package_field);
    if (!folder.empty()) delete_tree(folder);
}

void fill_slots_from_folder(const std::string& folder, SlotPaths& slots) {
    for (std::string& s : slots) s.clear();
    int found[2] = {-1, -1};  // results of the BOOT and KERNEL rows of pass 1
    int row = 0;
    for (const KeywordRow& k : kKeywordTable) {
        if (k.pass != 1) continue;
        int r = find_by_prefix(folder, k.keyword, slots[k.slot]);
        if (row < 2) found[row] = r;
        ++row;
    }
    if (found[0] == 0 && found[1] == 0) return;
    for (const KeywordRow& k : kKeywordTable)
        if (k.pass == 2) find_by_prefix(folder, k.keyword, slots[k.slot]);
}

ImportStatus import_package_files(const std::string& package_path, std::string& m_unzip_dir,
                                  SlotPaths& slots, RebootFlags& reboot_after, MessageSink& sink) {
    if (!path_exists(package_path)) return ImportStatus::no_package;
    const std::size_t slash = last_separator(package_path);
    if (slash == std::string::npos) {
        sink.message(kMsgFileError);
        return ImportStatus::failed;
    }
    const std::string folder = package_path.substr(0, slash);
    const std::string unzip_dir = extraction_folder(package_path);
    delete_tree(unzip_dir);
    m_unzip_dir = unzip_dir;

    std::string why;
    if (unzip_package(package_path, folder, &why) != 0) {
        sink.debug("unzip " + package_path + ": " + why);
        sink.message(kMsgUnzipError);
        return ImportStatus::failed;
    }
    fill_slots_from_folder(unzip_dir, slots);
    reboot_after = mark_reboot_slots(slots);
    return ImportStatus::imported;
}

}  // namespace quillon
