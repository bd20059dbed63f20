// SPDX-License-Identifier: GPL-3.0-or-later
// Table rows for the tests of received reports, written as UTF-8 literals
// with "|" between the items of a list.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTest>

inline QString Flag(bool b) {
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

// "a|b|c" as a list.
inline QStringList Split(const char *text) {
    const QString s = QString::fromUtf8(text);
    return s.isEmpty() ? QStringList() : s.split(QLatin1Char('|'));
}

// The columns of a report table: the lines fed first, the report, its
// monitor entries, and the "probe=value" pairs that must hold afterwards.
inline void AddReportColumns() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("state");
}

// One row, named after the report and what came before it.
inline void ReportRow(const char *before, const char *line, const char *entries,
                      const char *state) {
    const QByteArray name = QByteArray(line) + (*before ? " after " : "") + before;
    QTest::newRow(name.constData())
        << QString::fromUtf8(before) << QByteArray(line) << Split(entries) << Split(state);
}
