// The image slots, the package slot, the package import and dropped files.
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <cstdio>

#include "images/drop_plan.h"
#include "images/folder_ops.h"
#include "images/image_slots.h"
#include "images/message_sink.h"
#include "images/package_import.h"
#include "texts/ui_texts.h"
#include "window/qt/quillon_dlg.h"

namespace quillon {

namespace {

// "ImageFile(*.img)|*.img||" (description and pattern pairs) as a Qt filter list. Qt reads the
// patterns from the parentheses at the end of a description; a description that already ends in
// its pattern ("ImageFile(*.img)") is used as it is, so the dialog shows the pattern once.
QString qt_filter(const std::string& windows_filter) {
    const QStringList parts = QString::fromStdString(windows_filter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty()) break;
        QString pattern = parts[i + 1];
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString shown = QLatin1Char('(') + pattern + QLatin1Char(')');
        filters << (parts[i].endsWith(shown) ? parts[i] : parts[i] + QLatin1Char(' ') + shown);
    }
    return filters.join(QStringLiteral(";;"));
}

class DlgMessages final : public MessageSink {
public:
    explicit DlgMessages(CQuillonDlg& dlg) : dlg_(dlg) {}
    void message(const std::string& text) override { dlg_.show_message(text); }
    void debug(const std::string& text) override {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

private:
    CQuillonDlg& dlg_;
};

}  // namespace

std::string qt_file_filter(const std::string& windows_filter) {
    return qt_filter(windows_filter).toStdString();
}

void CQuillonDlg::clear_field(QLineEdit* edit) {
    edit->clear();  // a change of text when it held any, as the rules expect
}

void CQuillonDlg::on_slot_check(int i) {
    if (i < 0 || i >= 4) return;
    if (slot_check_[i]->isChecked()) {
        slot_path_[i]->setEnabled(true);
        slot_browse_[i]->setEnabled(true);
        zip_path_->setEnabled(false);
        clear_field(zip_path_);
        zip_browse_->setEnabled(false);
        zip_check_->setChecked(false);
    } else {
        slot_path_[i]->setEnabled(false);
        clear_field(slot_path_[i]);
        slot_browse_[i]->setEnabled(false);
    }
}

void CQuillonDlg::on_zip_check() {
    if (zip_check_->isChecked()) {
        for (int i = 0; i < 4; ++i) {
            slot_path_[i]->setEnabled(false);
            clear_field(slot_path_[i]);
            slot_browse_[i]->setEnabled(false);
        }
        zip_path_->setEnabled(true);
        zip_browse_->setEnabled(true);
        for (QCheckBox* c : slot_check_) c->setChecked(false);
    } else {
        for (int i = 0; i < 4; ++i) {
            slot_path_[i]->setEnabled(true);
            slot_browse_[i]->setEnabled(true);
        }
        zip_path_->setEnabled(false);
        clear_field(zip_path_);
        zip_browse_->setEnabled(false);
        for (QCheckBox* c : slot_check_) c->setChecked(true);
    }
}

void CQuillonDlg::on_zip_path_changed() {
    if (!zip_path_->text().isEmpty()) return;
    for (int i = 0; i < 4; ++i) {
        slot_path_[i]->setText(QString());
        slot_path_[i]->setEnabled(true);
        slot_browse_[i]->setEnabled(true);
    }
}

void CQuillonDlg::on_slot_browse(int i) {
    if (i < 0 || i >= 4) return;
    const std::string path = open_file_dialog(qt_file_filter(T(TextId::img_filter)));
    if (!path.empty()) slot_path_[i]->setText(QString::fromStdString(path));
}

void CQuillonDlg::mark_reboot_slots() {
    SlotPaths paths;
    for (int i = 0; i < 4; ++i) paths[i] = read_path(slot_path_[i]);
    const RebootFlags flags = quillon::mark_reboot_slots(paths);
    for (int i = 0; i < 4; ++i) m_reboot_after[i] = flags[i];
}

void CQuillonDlg::import_package() {
    delete_previous_import(read_path(zip_path_));
    if (!m_zip_dropped) {
        clear_field(zip_path_);
        // The emptied field's rule, also when the field was empty already (no change of text
        // then): a cancelled dialog leaves the image fields empty and enabled.
        on_zip_path_changed();
        const std::string chosen = open_file_dialog(qt_file_filter(T(TextId::zip_filter)));
        if (!chosen.empty()) zip_path_->setText(QString::fromStdString(chosen));
    }
    SlotPaths found;
    for (int i = 0; i < 4; ++i) found[i] = read_path(slot_path_[i]);
    RebootFlags reboot{};
    for (int i = 0; i < 4; ++i) reboot[i] = m_reboot_after[i];
    DlgMessages sink(*this);
    const ImportStatus st =
        import_package_files(read_path(zip_path_), m_unzip_dir, found, reboot, sink);
    if (st != ImportStatus::imported) return;
    for (int i = 0; i < 4; ++i) {
        slot_path_[i]->setText(QString::fromStdString(found[i]));
        m_reboot_after[i] = reboot[i];
        slot_path_[i]->setEnabled(false);
        slot_browse_[i]->setEnabled(false);
    }
}

void CQuillonDlg::on_drop_files(const std::vector<std::string>& paths) {
    std::array<bool, kSlotCount> ticked{};
    for (int i = 0; i < kSlotCount; ++i) ticked[i] = slot_check_[i]->isChecked();
    const DropPlan plan = plan_drop(paths, zip_check_->isChecked(), ticked);
    m_zip_dropped = plan.zip_dropped ? 1 : 0;
    if (!plan.import_path.empty()) {
        zip_path_->setText(QString::fromStdString(plan.import_path));
        import_package();  // no file dialog: m_zip_dropped is set
    }
    for (int i = 0; i < kSlotCount; ++i) {
        if (plan.slot_paths[i]) slot_path_[i]->setText(QString::fromStdString(*plan.slot_paths[i]));
    }
    m_zip_dropped = 0;
}

void CQuillonDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CQuillonDlg::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        // A position is used up by every dropped item, local file or not.
        paths.push_back(url.isLocalFile() ? url.toLocalFile().toStdString() : std::string());
    }
    on_drop_files(paths);
    event->acceptProposedAction();
}

}  // namespace quillon
