// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QDialog>

namespace quillon {

// The about box: program name and version, one line about the program, OK. Same texts in both
// languages.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace quillon
