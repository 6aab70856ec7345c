// SPDX-License-Identifier: Apache-2.0
#pragma once
// A small window that runs "ping -c 4 ADDRESS" and shows what it prints. The program is started
// without a shell, with the address as one argument, and runs on its own: the main window keeps
// serving its commands and the workers' requests meanwhile.
#include <QProcess>
#include <QWidget>

class QPlainTextEdit;

namespace quillon {

class PingWindow : public QWidget {
    Q_OBJECT
public:
    PingWindow(const QString& address, QWidget* parent = nullptr);
    ~PingWindow() override;

    void start();
    QProcess& process() { return process_; }
    QString output() const;
    bool finished() const { return finished_; }

private:
    void append(const QString& text);

    QString address_;
    QPlainTextEdit* text_ = nullptr;
    QProcess process_;
    bool finished_ = false;
};

}  // namespace quillon
