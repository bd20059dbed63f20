// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper around the orvik-sim process.
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

QString SimProcess::binary() {
    const QString fromEnv = qEnvironmentVariable("ORVIK_SIM");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../orvik-sim"));
}

bool SimProcess::start(const QStringList &args, int timeoutMs) {
    stop();
    m_device.clear();
    m_stderr.clear();
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_logPath = m_dir.filePath(QStringLiteral("sim.log"));
    QFile::remove(m_logPath);
    m_process.setProgram(binary());
    m_process.setArguments(args + QStringList{QStringLiteral("--log"), m_logPath});
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(binary(), m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(50)) {
            if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
                m_error = QStringLiteral("no device path from the simulator: %1")
                              .arg(QString::fromLocal8Bit(standardError()));
                stop();
                return false;
            }
        }
    }
    m_device = QString::fromLocal8Bit(m_process.readLine().trimmed());
    return !m_device.isEmpty();
}

void SimProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    m_stderr += m_process.readAllStandardError();
}

void SimProcess::say(const QByteArray &command) {
    m_process.write(command + '\n');
    m_process.waitForBytesWritten(1000);
}

QList<sim::LogRecord> SimProcess::logRecords() const {
    QList<sim::LogRecord> records;
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly))
        return records;
    // Each entry ends in '\n'; a last line without one is still being written.
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        sim::LogRecord record;
        if (sim::parseLogEntry(lines.at(i), &record))
            records.append(record);
    }
    return records;
}

QList<QByteArray> SimProcess::loggedLines() const {
    QList<QByteArray> lines;
    for (const sim::LogRecord &record : logRecords()) {
        if (record.kind == sim::LogKind::Received)
            lines.append(record.bytes);
    }
    return lines;
}

bool SimProcess::waitForLogged(const QByteArray &line, int count, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (loggedLines().count(line) >= count)
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
}

QByteArray SimProcess::standardError() {
    m_stderr += m_process.readAllStandardError();
    return m_stderr;
}

bool SimProcess::waitForStandardError(const QByteArray &text, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!standardError().contains(text)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}
