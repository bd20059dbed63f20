// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: runs build/orvik-sim as a child process, learns its device
// path, feeds it scenario commands and reads back what it received.
#pragma once

#include "SimText.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Path of the simulator binary: $ORVIK_SIM, else orvik-sim beside the tests' folder.
    static QString binary();

    // Starts the simulator with args (a log file is added) and waits for the
    // device path. False with errorString() on failure.
    bool start(const QStringList &args = {}, int timeoutMs = 5000);
    // Terminates it (so that it removes its link) and waits.
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }

    QString devicePath() const { return m_device; }
    QString logPath() const { return m_logPath; }
    QString errorString() const { return m_error; }

    // Sends one scenario command line to its stdin.
    void say(const QByteArray &command);

    // Every line the simulator received from the panel so far, terminators
    // removed, bytes as they were.
    QList<QByteArray> loggedLines() const;
    QList<sim::LogRecord> logRecords() const;
    // Waits, processing events, until `count` received lines equal `line`.
    bool waitForLogged(const QByteArray &line, int count = 1, int timeoutMs = 3000) const;
    // Stderr collected so far (errors of the simulator itself).
    QByteArray standardError();
    // Waits, processing events, until stderr contains `text`.
    bool waitForStandardError(const QByteArray &text, int timeoutMs = 3000);

private:
    QProcess m_process;
    QTemporaryDir m_dir;
    QString m_device;
    QString m_logPath;
    QString m_error;
    QByteArray m_stderr;
};
