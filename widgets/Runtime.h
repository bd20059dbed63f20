// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's small runtime layer: modal message boxes that tests can
// capture, the standard error box for an exception that escapes an event
// handler, and the application object.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace Runtime {

enum class MsgIcon { Error, Warning, Information };

struct MessageBoxCall {
    QString text;
    QString title;
    MsgIcon icon;
};

// Shows a modal box with an OK button and waits for it to be closed.
void ShowMessage(const QString &text, const QString &title, MsgIcon icon,
                 QWidget *parent = nullptr);

// Replaces the modal box (tests record the calls instead of showing them).
// An empty handler restores the real box. The handler runs where the box
// would have been shown, so code after the box runs after the handler.
using MessageHandler = std::function<void(const MessageBoxCall &)>;
void SetMessageHandler(MessageHandler handler);

// The standard error box for an exception that escaped a handler: its
// message, the application's title, the error icon.
void ShowException(const std::exception_ptr &error);

// Exceptions that need no box of their own because what raised them is
// reported elsewhere (a send that failed as the port went: the loss is
// reported as such). The program installs the test; none by default.
using QuietTest = std::function<bool(const std::exception_ptr &)>;
void SetQuietExceptions(QuietTest quiet);

// Runs handler, and shows any exception that escapes it in the error box.
void Guarded(const std::function<void()> &handler);

// The application's own properties, set once by main() (and by the tests,
// so that they see the windows as the program shows them): the name
// "Orvik Remote Control" and the version. No display name is set, so the
// window system shows each window's title exactly as the window gives it.
void SetUpApplication(QApplication &app);

// The application object: catches exceptions that escape event handlers
// (timers, clicks, serial events) and shows them instead of terminating.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace Runtime
