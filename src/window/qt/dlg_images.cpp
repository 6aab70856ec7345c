// SPDX-License-Identifier: Apache-2.0
// The image slots, the package slot and dropped files, handed to the window controller; the
// file dialog's filter in Qt's form.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStringList>
#include <QUrl>

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

}  // namespace

std::string qt_file_filter(const std::string& windows_filter) {
    return qt_filter(windows_filter).toStdString();
}

void CQuillonDlg::on_slot_check(int i) { ctl_->on_slot_check(i); }
void CQuillonDlg::on_zip_check() { ctl_->on_zip_check(); }
void CQuillonDlg::on_zip_path_changed() { ctl_->on_zip_path_changed(); }
void CQuillonDlg::on_slot_browse(int i) { ctl_->on_slot_browse(i); }
void CQuillonDlg::mark_reboot_slots() { ctl_->mark_reboot_slots(); }
void CQuillonDlg::import_package() { ctl_->import_package(); }
void CQuillonDlg::on_drop_files(const std::vector<std::string>& paths) {
    ctl_->on_drop_files(paths);
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
