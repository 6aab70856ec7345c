// SPDX-License-Identifier: Apache-2.0
// The image slots, the package slot, the package import and dropped files.
#include <cstdio>

#include "images/drop_plan.h"
#include "images/image_slots.h"
#include "images/message_sink.h"
#include "images/package_import.h"
#include "log/debug_line.h"
#include "texts/ui_texts.h"
#include "window/control_ids.h"
#include "window/window_controller.h"
#include "window/window_view.h"

namespace quillon {

namespace {

class ViewMessages final : public MessageSink {
public:
    explicit ViewMessages(WindowView& view) : view_(view) {}
    void message(const std::string& text) override { view_.show_message(text); }
    void debug(const std::string& text) override {
        debug_line("%s\n", text.c_str());
        flush_debug_lines();
    }

private:
    WindowView& view_;
};

}  // namespace

void WindowController::on_slot_check(int i) {
    if (i < 0 || i >= 4) return;
    if (view_.is_checked(kSlotCheck[i])) {
        view_.set_enabled(kSlotPath[i], true);
        view_.set_enabled(kSlotBrowse[i], true);
        view_.set_enabled(IDC_ZIP_PATH, false);
        view_.clear_text(IDC_ZIP_PATH);
        view_.set_enabled(IDC_ZIP_BROWSE, false);
        view_.set_checked(IDC_ZIP_CHECK, false);
    } else {
        view_.set_enabled(kSlotPath[i], false);
        view_.clear_text(kSlotPath[i]);
        view_.set_enabled(kSlotBrowse[i], false);
    }
}

void WindowController::on_zip_check() {
    if (view_.is_checked(IDC_ZIP_CHECK)) {
        for (int i = 0; i < 4; ++i) {
            view_.set_enabled(kSlotPath[i], false);
            view_.clear_text(kSlotPath[i]);
            view_.set_enabled(kSlotBrowse[i], false);
        }
        view_.set_enabled(IDC_ZIP_PATH, true);
        view_.set_enabled(IDC_ZIP_BROWSE, true);
        for (int id : kSlotCheck) view_.set_checked(id, false);
    } else {
        for (int i = 0; i < 4; ++i) {
            view_.set_enabled(kSlotPath[i], true);
            view_.set_enabled(kSlotBrowse[i], true);
        }
        view_.set_enabled(IDC_ZIP_PATH, false);
        view_.clear_text(IDC_ZIP_PATH);
        view_.set_enabled(IDC_ZIP_BROWSE, false);
        for (int id : kSlotCheck) view_.set_checked(id, true);
    }
}

void WindowController::on_zip_path_changed() {
    if (!view_.text(IDC_ZIP_PATH).empty()) return;
    for (int i = 0; i < 4; ++i) {
        view_.set_text(kSlotPath[i], std::string());
        view_.set_enabled(kSlotPath[i], true);
        view_.set_enabled(kSlotBrowse[i], true);
    }
}

void WindowController::on_slot_browse(int i) {
    if (i < 0 || i >= 4) return;
    const std::string path = view_.choose_file(T(TextId::img_filter));
    if (!path.empty()) view_.set_text(kSlotPath[i], path);
}

void WindowController::mark_reboot_slots() {
    SlotPaths paths;
    for (int i = 0; i < 4; ++i) paths[i] = read_path(kSlotPath[i]);
    const RebootFlags flags = quillon::mark_reboot_slots(paths);
    for (int i = 0; i < 4; ++i) m_reboot_after[i] = flags[i];
}

void WindowController::import_package() {
    delete_previous_import(read_path(IDC_ZIP_PATH));
    if (!m_zip_dropped) {
        view_.clear_text(IDC_ZIP_PATH);
        // The emptied field's rule, also when the field was empty already (no change of text
        // then): a cancelled dialog leaves the image fields empty and enabled.
        on_zip_path_changed();
        const std::string chosen = view_.choose_file(T(TextId::zip_filter));
        if (!chosen.empty()) view_.set_text(IDC_ZIP_PATH, chosen);
    }
    SlotPaths found;
    for (int i = 0; i < 4; ++i) found[i] = read_path(kSlotPath[i]);
    RebootFlags reboot{};
    for (int i = 0; i < 4; ++i) reboot[i] = m_reboot_after[i];
    ViewMessages sink(view_);
    const ImportStatus st = import_package_files(read_path(IDC_ZIP_PATH), m_unzip_dir, found,
                                                 reboot, sink);
    if (st != ImportStatus::imported) return;
    for (int i = 0; i < 4; ++i) {
        view_.set_text(kSlotPath[i], found[i]);
        m_reboot_after[i] = reboot[i];
        view_.set_enabled(kSlotPath[i], false);
        view_.set_enabled(kSlotBrowse[i], false);
    }
}

void WindowController::on_drop_files(const std::vector<std::string>& paths) {
    std::array<bool, kSlotCount> ticked{};
    for (int i = 0; i < kSlotCount; ++i) ticked[i] = view_.is_checked(kSlotCheck[i]);
    const DropPlan plan = plan_drop(paths, view_.is_checked(IDC_ZIP_CHECK), ticked);
    m_zip_dropped = plan.zip_dropped ? 1 : 0;
    if (!plan.import_path.empty()) {
        view_.set_text(IDC_ZIP_PATH, plan.import_path);
        import_package();  // no file dialog: m_zip_dropped is set
    }
    for (int i = 0; i < kSlotCount; ++i) {
        if (plan.slot_paths[i]) view_.set_text(kSlotPath[i], *plan.slot_paths[i]);
    }
    m_zip_dropped = 0;
}

}  // namespace quillon
