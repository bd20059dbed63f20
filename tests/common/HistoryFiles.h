// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the history tests: the sqlite3 command-line tool on a file, and
// samples of the link in a few words.
#pragma once

#include "history/HistorySample.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cmath>

// What sqlite3 prints for sql on file ("|" between columns, one row a
// line); "error: ..." when it fails.
inline QString Sqlite(const QString &file, const QString &sql) {
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-readonly"), file, sql});
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return QStringLiteral("error: ") + QString::fromUtf8(p.readAllStandardError()).trimmed();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Connected and answering, transmitting out W with ref W reflected.
inline HistorySample Tx(double out, double ref = 10, int band = 3, unsigned alarms = 0) {
    HistorySample s;
    s.link = HistoryLink::Current;
    s.transmitting = true;
    s.output = out;
    s.reflected = ref;
    s.peak = out;
    s.temperature = 41;
    s.band = band;
    s.alarms = alarms;
    // The SWR of forward and reflected power, while power comes.
    if (out > 0 && ref < out)
        s.swr = (1 + std::sqrt(ref / out)) / (1 - std::sqrt(ref / out));
    return s;
}

// Connected and answering, receiving.
inline HistorySample Rx(double temperature = 40, int band = 3, unsigned alarms = 0) {
    HistorySample s = Tx(0, 0, band, alarms);
    s.transmitting = false;
    s.temperature = temperature;
    return s;
}

inline HistorySample Link(HistoryLink link) {
    HistorySample s;
    s.link = link;
    s.band = 3;
    return s;
}
