// SPDX-License-Identifier: Apache-2.0
#include "window/qt/ping_window.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace quillon {

PingWindow::PingWindow(const QString& address, QWidget* parent)
    : QWidget(parent, Qt::Window), address_(address) {
    setObjectName(QStringLiteral("ping_window"));
    setWindowTitle(QStringLiteral("ping %1").arg(address));
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setObjectName(QStringLiteral("ping_output"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    resize(520, 260);

    process_.setProcessChannelMode(QProcess::MergedChannels);
    connect(&process_, &QProcess::readyRead, this,
            [this] { append(QString::fromLocal8Bit(process_.readAll())); });
    connect(&process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus) {
        append(QString::fromLocal8Bit(process_.readAll()));
        append(QStringLiteral("\n[ping ended, exit code %1]\n").arg(code));
        finished_ = true;
    });
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            append(QStringLiteral("ping could not be started: %1\n").arg(process_.errorString()));
            finished_ = true;
        }
    });
}

PingWindow::~PingWindow() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(1000);
    }
}

void PingWindow::start() {
    process_.start(QStringLiteral("ping"), {QStringLiteral("-c"), QStringLiteral("4"), address_});
}

QString PingWindow::output() const { return text_->toPlainText(); }

void PingWindow::append(const QString& text) {
    if (text.isEmpty()) return;
    text_->moveCursor(QTextCursor::End);
    text_->insertPlainText(text);
    text_->moveCursor(QTextCursor::End);
}

}  // namespace quillon
