// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Runtime.h"

#include <QMessageBox>
#include <QWidget>

#include <stdexcept>

namespace Runtime {

namespace {
MessageHandler &Handler() {
    static MessageHandler handler;
    return handler;
}

QString ApplicationTitle() {
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QApplication::applicationName() : name;
}
} // namespace

void ShowMessage(const QString &text, const QString &title, MsgIcon icon, QWidget *parent) {
    if (Handler()) {
        // Copy first: the handler may replace itself.
        const MessageHandler handler = Handler();
        handler({text, title, icon});
        return;
    }
    QMessageBox::Icon qicon = QMessageBox::Information;
    if (icon == MsgIcon::Error)
        qicon = QMessageBox::Critical;
    else if (icon == MsgIcon::Warning)
        qicon = QMessageBox::Warning;
    QMessageBox box(qicon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void SetMessageHandler(MessageHandler handler) {
    Handler() = std::move(handler);
}

QuietTest &Quiet() {
    static QuietTest quiet;
    return quiet;
}

void SetQuietExceptions(QuietTest quiet) {
    Quiet() = std::move(quiet);
}

void ShowException(const std::exception_ptr &error) {
    if (Quiet() && Quiet()(error))
        return;
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    ShowMessage(message, ApplicationTitle(), MsgIcon::Error);
}

void Guarded(const std::function<void()> &handler) {
    try {
        handler();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

void SetUpApplication(QApplication &app) {
    app.setApplicationName(QStringLiteral("Orvik Remote Control"));
    app.setApplicationVersion(QStringLiteral(ORVIK_VERSION));
}

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return true;
    }
}

} // namespace Runtime
