// SPDX-License-Identifier: GPL-3.0-or-later
// The history's figures: the recorder's cost per report (10 reports a
// second, the commit once a second included), the file's growth per hour
// transmitting and per idle hour, the longest commit, and the time from
// creating the History window to its first paint on a week of rows
// written every second.
//   bench_history [--hours N]
#include "history/HistoryStore.h"
#include "historywindow/HistoryWindow.h"
#include "historywindow/Plot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace {

void Result(const char *name, double value, const char *unit, const char *target, bool ok) {
    std::printf("RESULT|%s|%.3f|%s|%s|%s\n", name, value, unit, target, ok ? "yes" : "NO");
    std::fflush(stdout);
}

qint64 FileBytes(const QString &file) {
    // The log's pages belong to the file until they are copied back.
    return QFileInfo(file).size() + QFileInfo(file + QStringLiteral("-wal")).size();
}

struct Hour {
    double usPerReport = 0;
    double longestCommitMs = 0;
    qint64 bytes = 0;
};

// An hour of the link as the simulator's reports make it: transmitting,
// 10 power reports a second with changing values, or idle, the
// temperature changing now and then.
Hour RecordHour(const QString &file, bool transmitting, int hours) {
    qint64 now = 1700000000LL * 1000;
    HistoryStore store;
    store.SetClock([&now] { return now; });
    store.Open(file);
    store.Close();
    const qint64 before = FileBytes(file);
    store.Open(file);
    store.FlushTimer()->stop();
    HistorySample s;
    s.link = HistoryLink::Current;
    s.band = 4;
    s.temperature = 38;
    QElapsedTimer total, commit;
    qint64 ns = 0, reports = 0;
    Hour h;
    for (qint64 tick = 0; tick < qint64(hours) * 36000; ++tick) {
        now += 100;
        if (transmitting) {
            s.transmitting = true;
            s.output = 800 + double(tick * 7919 % 150);
            s.reflected = 15 + double(tick % 9);
            s.peak = 980;
            s.swr = (1 + std::sqrt(*s.reflected / *s.output)) /
                    (1 - std::sqrt(*s.reflected / *s.output));
            s.temperature = 40 + double(tick / 600 % 20) * 0.5;
        } else if (tick % 300 == 0) {
            s.temperature = 38 + double(tick / 300 % 4) * 0.5;
        } else if (tick % 10) {
            continue; // idle: the state changes only when a report changes something
        }
        total.start();
        store.Record(s);
        if (now % 1000 == 0) {
            commit.start();
            store.Flush();
            h.longestCommitMs = std::max(h.longestCommitMs, commit.nsecsElapsed() / 1e6);
        }
        ns += total.nsecsElapsed();
        ++reports;
    }
    store.Close();
    h.usPerReport = double(ns) / 1000.0 / double(reports);
    h.bytes = (FileBytes(file) - before) / hours;
    return h;
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int hours = argc > 2 && QByteArray(argv[1]) == "--hours" ? std::max(1, atoi(argv[2])) : 1;
    QTemporaryDir dir;
    const Hour tx = RecordHour(dir.filePath(QStringLiteral("tx.sqlite")), true, hours);
    const Hour idle = RecordHour(dir.filePath(QStringLiteral("idle.sqlite")), false, 24 * hours);
    Result("history write per report, transmitting (commit included)", tx.usPerReport, "us", "-",
           true);
    Result("history longest commit", std::max(tx.longestCommitMs, idle.longestCommitMs), "ms", "-",
           true);
    Result("history growth per hour transmitting", double(tx.bytes) / 1024, "KiB", "-", true);
    Result("history growth per idle hour", double(idle.bytes) / 1024, "KiB", "-", true);

    // A week of rows every second (transmitting all the time: the most).
    const QString week = dir.filePath(QStringLiteral("week.sqlite"));
    const qint64 end = 1700000000;
    {
        qint64 now = (end - 604800) * 1000;
        HistoryStore store;
        store.SetClock([&now] { return now; });
        store.Open(week);
        store.FlushTimer()->stop();
        HistorySample s;
        s.link = HistoryLink::Current;
        s.transmitting = true;
        s.band = 4;
        for (qint64 i = 0; i < 604800; ++i, now += 1000) {
            s.output = 800 + double(i * 7919 % 150);
            s.reflected = 15 + double(i % 9);
            s.swr = 1.2 + double(i % 5) / 10;
            s.temperature = 40 + double(i / 600 % 20) * 0.5;
            store.Record(s);
            if (i % 60 == 0)
                store.Flush();
        }
    }
    Result("history file of a week transmitting", double(FileBytes(week)) / 1048576, "MiB", "-",
           true);
    QElapsedTimer open;
    open.start();
    HistoryWindow window;
    window.SetClock([] { return end * 1000; });
    window.resize(1000, 760);
    window.SetFile(week);
    window.ShowSpan(HistoryWindow::Spans[3]);
    window.show();
    window.Plot()->replot();
    window.repaint();
    const double openMs = open.nsecsElapsed() / 1e6;
    Result("History window open on 7 days, to its first paint", openMs, "ms", "< 1000",
           openMs < 1000);
    return 0;
}
