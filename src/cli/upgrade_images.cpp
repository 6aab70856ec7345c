// SPDX-License-Identifier: Apache-2.0
#include "cli/upgrade_images.h"

#include "cli/upgrade_run.h"
#include "images/image_slots.h"
#include "images/package_import.h"
#include "platform/files.h"
#include "texts/ui_texts.h"

namespace quillon::cli {
namespace {

class SaySink final : public MessageSink {
public:
    explicit SaySink(const std::function<void(const std::string&)>& say) : say_(say) {}
    void message(const std::string& text) override { say_(text); }

private:
    const std::function<void(const std::string&)>& say_;
};

}  // namespace

bool package_is_file(const std::string& option, std::string& package) {
    package = absolute_path(option);
    return is_regular_file(package);
}

int choose_images(const UpgradeOptions& opt, ChosenImages& out,
                  const std::function<void(const std::string&)>& say) {
    SlotPaths slots;
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (!opt.slot_paths[i].empty()) slots[i] = absolute_path(opt.slot_paths[i]);
    RebootFlags reboot{};

    if (!opt.package.empty()) {
        std::string package;
        if (!package_is_file(opt.package, package)) {
            say("upgrade: no package " + package + " (not a file)");
            return kExitBadUsage;
        }
        SaySink sink(say);
        std::string unzip_dir;
        delete_previous_import(package);
        const ImportStatus st = import_package_files(package, unzip_dir, slots, reboot, sink);
        if (st == ImportStatus::no_package) {
            say("upgrade: no package " + package);
            return kExitBadUsage;
        }
        out.package = package;
        if (st == ImportStatus::failed) {
            say(T(TextId::msg_image_bad));
            return kExitImagesBad;
        }
        reboot = mark_reboot_slots(slots);
        for (std::size_t i = 0; i < slots.size(); ++i)
            if (!slots[i].empty())
                say(std::string(kSlots[i].name) + ": " + slots[i] +
                    (reboot[i] ? " (reboot after)" : ""));
    }
    // Name the file that is the trouble; the engine's own check then ends the batch as usual.
    for (const std::string& p : slots) {
        std::string why;
        if (!p.empty() && !path_exists(p, &why)) say("upgrade: cannot read " + p + ": " + why);
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        out.paths[i] = slots[i];
        out.reboot_after[i] = reboot[i];
    }
    return -1;
}

void remove_unpacked(const ChosenImages& images) {
    if (!images.package.empty()) delete_previous_import(images.package);
}

}  // namespace quillon::cli
