// SPDX-License-Identifier: GPL-3.0-or-later
// The headless program for tests and benchmarks: started as a child with
// no display at all (as a copy run by an unprivileged user when asked), and
// its standard output awaited.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <unistd.h>

inline QString ProgramBinary() {
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("../orvik-control"));
}

// The headless program as a child with no display at all. With a copy of
// its binary it runs as an unprivileged user: nobody, through setpriv, when
// the suite runs as root (as CI does), else the user running the suite.
inline void StartHeadless(QProcess *p, const QStringList &args, const QString &copy = QString()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    p->setProcessEnvironment(env);
    const QStringList all = QStringList(QStringLiteral("--headless")) + args;
    if (copy.isEmpty())
        p->start(ProgramBinary(), all);
    else if (::geteuid() == 0)
        p->start(QStringLiteral("setpriv"),
                 QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                             QStringLiteral("--clear-groups"), copy} +
                     all);
    else
        p->start(copy, all);
}

// Waits, collecting its stdout into *out, until text occurs `count` times.
inline bool AwaitOutput(QProcess *p, QByteArray *out, const QByteArray &text, int count = 1,
                        int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (out->count(text) < count && !deadline.hasExpired()) {
        p->waitForReadyRead(50);
        *out += p->readAllStandardOutput();
        if (p->state() == QProcess::NotRunning)
            break;
    }
    return out->count(text) >= count;
}
