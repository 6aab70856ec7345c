// SPDX-License-Identifier: Apache-2.0
#include "window/qt/about_dlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillon {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于 Quillon"));
    setModal(true);

    auto* icon = new QLabel(this);
    const QIcon app_icon = parent ? parent->windowIcon() : QApplication::windowIcon();
    icon->setPixmap((app_icon.isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon) : app_icon)
                        .pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("Quillon，1.3 版"), this);
    name->setObjectName(QStringLiteral("about_version"));
    auto* line2 = new QLabel(QStringLiteral("楼宇对讲设备批量升级工具 / Intercom firmware upgrade"),
                             this);
    line2->setObjectName(QStringLiteral("about_line2"));

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(line2);
    texts->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addLayout(buttons);
}

}  // namespace quillon
