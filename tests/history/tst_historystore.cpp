// SPDX-License-Identifier: GPL-3.0-or-later
// The history's writer on real SQLite files, read back with the sqlite3
// tool: rows per second, the events, the faults (damaged file, read-only
// file or folder, full disk, a file another program records), retention.
#include "history/HistoryReader.h"
#include "history/HistoryStore.h"
#include "tests/common/HistoryFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

struct Step {
    qint64 ms;
    HistorySample sample;
    std::optional<HistoryEvent> event;               // told instead of the sample
    std::optional<HistoryTransmission> transmission; // told instead of the sample
};
using Script = std::vector<Step>;
Q_DECLARE_METATYPE(Script)

class TestHistoryStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void records_data();
    void records();
    void faults_data();
    void faults();
    void retentionInSteps();

private:
    QTemporaryDir dir;
};

// 1 000 s after the epoch's start of a day, so that seconds read easily.
constexpr qint64 T0 = 1700000000LL * 1000;

// A script in a few words: "MS SAMPLE" steps after T0, ";" between them; a
// sample is tx OUT [REF [BAND [ALARMS]]], rx [TEMP [BAND [ALARMS]]], ptt
// (receiving with the PTT blocked), or the link's state by name; "MS
// !KIND[:DETAIL] [BAND [POWER]]" tells an event (the kind's blanks as _),
// "MS !record:MS BAND AVERAGE PEAK ALARMS" a transmission's end with its
// duration (ALARMS: the bits of the alarms raised during it).
Script Parse(const char *text) {
    static const QStringList links =
        QStringLiteral("closed connecting current noanswer waiting").split(QLatin1Char(' '));
    Script out;
    for (const QString &step : QString::fromLatin1(text).split(QLatin1Char(';'))) {
        const QStringList w = step.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        auto n = [&w](int i, double d) { return i < w.size() ? w.at(i).toDouble() : d; };
        if (w.at(1).startsWith(QStringLiteral("!record:"))) {
            HistoryTransmission t;
            t.endMs = w.at(1).mid(8).toLongLong();
            t.band = int(n(2, 0));
            t.averageW = n(3, 0);
            t.peakW = n(4, 0);
            t.alarms = unsigned(n(5, 0));
            out.push_back({T0 + w.at(0).toLongLong(), HistorySample(), std::nullopt, t});
            continue;
        }
        if (w.at(1).startsWith(QLatin1Char('!'))) {
            HistoryEvent e;
            e.kind = w.at(1)
                         .mid(1)
                         .section(QLatin1Char(':'), 0, 0)
                         .replace(QLatin1Char('_'), QLatin1Char(' '));
            e.detail = w.at(1).section(QLatin1Char(':'), 1);
            e.band = int(n(2, 0));
            if (w.size() > 3)
                e.power = n(3, 0);
            out.push_back({T0 + w.at(0).toLongLong(), HistorySample(), e, std::nullopt});
            continue;
        }
        HistorySample s = w.at(1) == QLatin1String("tx")
                              ? Tx(n(2, 0), n(3, 10), int(n(4, 3)), unsigned(n(5, 0)))
                          : links.contains(w.at(1)) ? Link(HistoryLink(links.indexOf(w.at(1))))
                                                    : Rx(n(2, 40), int(n(3, 3)), unsigned(n(4, 0)));
        s.pttBlocked = w.at(1) == QLatin1String("ptt");
        out.push_back({T0 + w.at(0).toLongLong(), s, std::nullopt, std::nullopt});
    }
    return out;
}

void TestHistoryStore::records_data() {
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("flushPhase"); // ms after each whole second the commit runs
    // 0: read as a crash after the last commit leaves the file; 1: after
    // one more commit; 2: after Close.
    QTest::addColumn<int>("end");
    // The program closes and starts again there; negative: it is killed
    // there (the file as its last commit left it) and starts again with
    // the next step.
    QTest::addColumn<qint64>("restartAt");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    const char *rows = "SELECT t - 1700000000, output_min, output_max, output, reflected_max, "
                       "temperature, band, flags FROM readings";
    const char *events = "SELECT group_concat(kind || ifnull(':' || detail, ''), ',') FROM events";
    const char *times = "SELECT group_concat(t - 1700000000, ',') FROM readings";
    const struct {
        const char *name, *script;
        int flushPhase, end;
        const char *sql, *expected;
    } table[] = {
        {"minimum, maximum and last of a second", "100 tx 500; 400 tx 900 100; 700 tx 700", 0, 1,
         rows, "0|500.0|900.0|700.0|100.0|41.0|3|1"},
        {"a row only for a second that changed",
         "100 tx 500; 1100 tx 600; 2100 tx 600; 3500 tx 650", 0, 1, times, "0,1,3"},
        {"unchanged: a row each minute", "0 rx; 125000 rx", 0, 1, times, "0,60,120"},
        {"the second in progress is committed so far",
         "100 tx 500; 200 tx 800; 1100 tx 600; 1700 tx 300", 500, 0,
         "SELECT t - 1700000000, output_min, output_max FROM readings",
         "0|500.0|800.0\n1|600.0|600.0"},
        {"no rows while not answering", "0 connecting; 1000 noanswer; 2000 waiting", 0, 2,
         "SELECT count(*) FROM readings", "0"},
        // The events as the link tells them: kept with their time, band and
        // power; "closed" at the end only after an "opened".
        {"events as told",
         "10 !opened; 10 tx 900 50 4; 10 !transmit_on 4 900; 1020 rx 40 4; "
         "1020 !transmit_off:1.0_s 4 812.5; 1500 !command:mqtt:_band_5:_ok",
         0, 2, "SELECT t_ms - 1700000000000, kind, detail, band, power FROM events",
         "10|recording start|||\n10|opened|||\n10|transmit on||4|900.0\n"
         "1020|transmit off|1.0_s|4|812.5\n1500|command|mqtt:_band_5:_ok||\n2000|closed||4|0.0\n"
         "2000|recording end|||"},
        {"nothing to close without an opening", "0 rx; 1000 !closed", 0, 2, events,
         "recording start,recording end"},
        // What stops with the transmission does not stay in the row.
        {"no SWR or reflected power after the output stopped", "100 tx 500 20; 600 rx; 1500 rx", 0,
         2, "SELECT t - 1700000000, output, reflected, swr, reflected_max, swr_max FROM readings",
         "0|0.0|||20.0|1.5"},
        // Its SWR averaged over the time: 1.5 for 2 s, 1.857 for 2 s.
        {"a transmission's record",
         "0 !transmit_on 3; 0 tx 500 20; 2000 tx 500 45; 4000 rx; "
         "4000 !record:4000 3 500 520 9",
         0, 2,
         "SELECT start_ms - 1700000000000, end_ms - 1700000000000, band, average_w, peak_w,"
         " round(average_swr, 3), worst_swr, alarms FROM transmissions",
         "0|4000|3|500.0|520.0|1.679||High output power; High reverse power"},
        // Killed at 52 °C, started again 150 s later at 31 °C: the span
        // before the restart holds 52 °C no longer than a row lasts.
        // Means over the time, not over rows: 1 000 W for 10 s of 60.
        {"told over time", "0 rx 30; 600 tx 1000 10; 10600 rx 30; 60000 rx 30", 0, 2,
         "summary 0 60",
         "output 166.7 W, 60 s recorded, 10 s transmitting, 2.78 Wh, temperature 31.8"},
    };
    for (const auto &r : table)
        QTest::newRow(r.name) << Parse(r.script) << r.flushPhase << r.end << qint64(0)
                              << QString::fromLatin1(r.sql) << QString::fromLatin1(r.expected);
    // Killed at 52 °C, started again 150 s later at 31 °C: 52 °C holds no
    // longer than its second, for nothing says how long it held.
    QTest::newRow("no reading holds across a kill")
        << Parse("0 rx 52; 30000 rx 52; 150000 rx 31; 179000 rx 31") << 0 << 2 << -(T0 + 30500)
        << QStringLiteral("summary 0 180")
        << QStringLiteral(
               "output 0.0 W, 31 s recorded, 0 s transmitting, 0.00 Wh, temperature 31.7");
    // Samples every second, none of them a change, committed in between.
    Script unchanged;
    for (qint64 ms = 0; ms <= 125000; ms += 1000)
        unchanged.push_back({T0 + ms, Rx(), std::nullopt, std::nullopt});
    QTest::newRow("unchanged samples: a row each minute")
        << unchanged << 500 << 1 << qint64(0) << QString::fromLatin1(times)
        << QStringLiteral("0,60,120");
    Script minutes;
    for (qint64 ms = 0; ms < 150000; ms += 250)
        minutes.push_back({T0 + ms, Tx(double(ms * 7919 % 1000), 10 + double(ms % 7)), std::nullopt,
                           std::nullopt});
    QTest::newRow("a minute's summary is that of its rows, across a restart")
        << minutes << 0 << 1 << T0 + 70500
        << QStringLiteral(
               "SELECT group_concat(m.t - 1700000000) FROM minutes m JOIN (SELECT t - t % 60 AS"
               " s, min(t) AS f, max(t) AS l, min(output_min) AS a, max(output_max) AS b,"
               " sum(output) AS x, count(output) AS n, max(reflected_max) AS r FROM readings"
               " GROUP BY s) ON m.t = s AND m.first = f AND m.last = l AND m.output_min = a"
               " AND m.output_max = b AND m.output_sum = x AND m.output_n = n"
               " AND m.reflected_max = r")
        << QStringLiteral("-20,40,100");
}

// Plays the script on a store whose clock the test moves; the commit runs
// once a second, flushPhase ms after each whole second.
void TestHistoryStore::records() {
    QFETCH(Script, script);
    QFETCH(int, flushPhase);
    QFETCH(int, end);
    QFETCH(qint64, restartAt);
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QString file =
        dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".sqlite"));
    qint64 now = script.front().ms;
    auto killed = std::make_unique<HistoryStore>();
    auto owned = std::make_unique<HistoryStore>();
    owned->SetClock([&now] { return now; });
    // Made as the umask allows (0640 in the service, 0664 here).
    const mode_t mask = ::umask(002);
    QCOMPARE(owned->Open(file), HistoryStore::State::Recording);
    ::umask(mask);
    QCOMPARE(QFileInfo(file).permissions() & (QFile::WriteGroup | QFile::WriteOther),
             QFile::WriteGroup);
    owned->FlushTimer()->stop();
    const qint64 killAt = -restartAt;
    bool killPending = restartAt < 0;
    qint64 nextFlush = now / 1000 * 1000 + flushPhase;
    if (nextFlush <= now)
        nextFlush += 1000;
    for (const Step &step : script) {
        if (restartAt > 0 && step.ms >= restartAt) {
            restartAt = 0;
            owned->Close();
            QCOMPARE(owned->Open(file), HistoryStore::State::Recording);
            owned->FlushTimer()->stop();
        }
        if (killPending && step.ms >= killAt) {
            // What a kill leaves: the file and its log as committed; the
            // program starts again at this step.
            killPending = false;
            const QString copy = file + QStringLiteral(".after-kill");
            for (const QString &suffix : {QString(), QStringLiteral("-wal")})
                QVERIFY(QFile::copy(file + suffix, copy + suffix));
            file = copy;
            now = step.ms;
            killed = std::move(owned);
            owned = std::make_unique<HistoryStore>();
            owned->SetClock([&now] { return now; });
            QCOMPARE(owned->Open(file), HistoryStore::State::Recording);
            owned->FlushTimer()->stop();
            nextFlush = now / 1000 * 1000 + flushPhase + 1000;
        }
        HistoryStore &store = *owned;
        for (; nextFlush <= step.ms; nextFlush += 1000) {
            now = nextFlush;
            store.Flush();
        }
        now = step.ms;
        if (step.transmission)
            store.NoteTransmission(*step.transmission);
        else if (step.event)
            store.Note(*step.event);
        else
            store.Record(step.sample);
    }
    now = nextFlush;
    if (end >= 1)
        owned->Flush();
    if (end == 2)
        owned->Close();
    if (sql.startsWith(QStringLiteral("summary "))) {
        // The reader's account of seconds FROM..TO after T0.
        HistoryReader reader;
        QVERIFY2(reader.Open(file), qPrintable(reader.Error()));
        const HistorySummary s =
            reader.Summarize(T0 / 1000 + sql.section(QLatin1Char(' '), 1, 1).toDouble(),
                             T0 / 1000 + sql.section(QLatin1Char(' '), 2, 2).toDouble());
        QCOMPARE(QStringLiteral("output %1 W, %2 s recorded, %3 s transmitting, %4 Wh, "
                                "temperature %5")
                     .arg(s.mean[0].value_or(-1), 0, 'f', 1)
                     .arg(s.recordedSeconds)
                     .arg(s.transmittingSeconds)
                     .arg(s.energyKWh * 1000, 0, 'f', 2)
                     .arg(s.mean[3].value_or(-1), 0, 'f', 1),
                 expected);
        return;
    }
    QCOMPARE(Sqlite(file, sql), expected);
}

void TestHistoryStore::faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("state");
    using S = HistoryStore::State;
    const std::tuple<const char *, const char *, S> rows[] = {
        // Not ours: refused and left as it is.
        {"not a database", "text", S::Refused},
        {"table pages overwritten", "pages", S::Recording},
        {"another program's database", "foreign", S::Refused},
        // Ours: a history of the first layout is brought up to date; a
        // -shm left read-only by a run on a read-only file is taken back.
        {"a history of the first layout", "layout1", S::Recording},
        {"a read-only -shm left behind", "shm", S::Recording},
        {"recorded by another program", "locked", S::Locked},
        {"full disk", "full", S::Stopped},
        {"read-only folder", "folder", S::Stopped},
        {"read-only file", "file", S::Stopped},
        {"a file in a read-only folder", "infolder", S::Stopped},
        {"a file that may not be read: not damaged", "unreadable", S::Stopped},
        {"a file where the folder should be", "nofolder", S::Stopped}};
    for (const auto &[name, fault, state] : rows)
        QTest::newRow(name) << QString::fromLatin1(fault) << int(state);
}

// Each fault gives one message, a state the program can go on with, and
// leaves what was there readable.
void TestHistoryStore::faults() {
    QFETCH(QString, fault);
    QFETCH(int, state);
    const bool quiet = fault == QStringLiteral("layout1") || fault == QStringLiteral("shm");
    const QString message =
        state == int(HistoryStore::State::Refused)
            ? QStringLiteral("is not a history of this program")
        : state == int(HistoryStore::State::Recording)
            ? QStringLiteral(" was damaged or not a history; it is kept as ")
        : state == int(HistoryStore::State::Locked)
            ? QStringLiteral("is recorded by another program; this one records nothing")
            : QStringLiteral("recording stopped, cannot write");
    // File modes hold only for a user other than root.
    const bool modes = fault == QStringLiteral("folder") || fault == QStringLiteral("file") ||
                       fault == QStringLiteral("infolder") ||
                       fault == QStringLiteral("unreadable") || fault == QStringLiteral("shm");
    if (modes && ::geteuid() == 0)
        QSKIP("root writes read-only files and folders; run-unprivileged.sh runs this as nobody");
    const QString folder = dir.filePath(fault);
    QVERIFY(QDir().mkpath(folder));
    const bool noFolder = fault == QStringLiteral("nofolder");
    if (noFolder) { // the history's folder cannot be made
        QFile blocker(folder + QStringLiteral("/state"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const QString file = folder + (noFolder ? QStringLiteral("/state/orvik/history.sqlite")
                                            : QStringLiteral("/history.sqlite"));
    qint64 now = T0;
    auto write = [&](HistoryStore &s, int seconds) {
        for (int i = 0; i < seconds; ++i) {
            now += 1000;
            s.Record(Tx(100 + i));
            s.Flush();
        }
    };
    if (fault != QStringLiteral("text") && fault != QStringLiteral("folder") && !noFolder) {
        HistoryStore first;
        first.SetClock([&now] { return now; });
        QCOMPARE(first.Open(file), HistoryStore::State::Recording);
        write(first, 100);
        first.Close();
    }
    QFile f(file);
    if (fault == QStringLiteral("text")) {
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Configuration]\nPort=/dev/ttyUSB0\n");
    } else if (fault == QStringLiteral("pages")) {
        QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(4096));
        f.write(QByteArray(8192, '\x55'));
    } else if (fault == QStringLiteral("foreign")) {
        QFile::remove(file);
        QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"),
                                   {file, QStringLiteral("CREATE TABLE qso (call TEXT)")}),
                 0);
    } else if (fault == QStringLiteral("layout1")) {
        // The first layout: no mark, no transmissions.
        QCOMPARE(QProcess::execute(
                     QStringLiteral("sqlite3"),
                     {file,
                      QStringLiteral(
                          "DROP TABLE transmissions; ALTER TABLE readings DROP COLUMN held; PRAGMA "
                          "application_id=0; PRAGMA user_version=1")}),
                 0);
    } else if (fault == QStringLiteral("shm")) {
        // A log not yet taken into the file, and its index as a reader on
        // the read-only file made it.
        QCOMPARE(
            QProcess::execute(QStringLiteral("sqlite3"),
                              {file, QStringLiteral(".filectrl persist_wal 1"),
                               QStringLiteral("INSERT INTO events (t_ms, kind) VALUES (0, 'x')")}),
            0);
        QVERIFY(QFile::setPermissions(file + QStringLiteral("-shm"),
                                      QFile::ReadOwner | QFile::ReadGroup));

    } else if (fault == QStringLiteral("folder")) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    } else if (fault == QStringLiteral("file")) {
        QFile::setPermissions(file, QFile::ReadOwner);
    } else if (fault == QStringLiteral("infolder")) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    } else if (fault == QStringLiteral("unreadable")) {
        QFile::setPermissions(file, {});
    }
    f.close();
    QFile r(file);
    const QByteArray damaged = r.open(QIODevice::ReadOnly) ? r.readAll() : QByteArray();
    r.close();

    HistoryStore other; // holds the file in "locked"
    other.SetClock([&now] { return now; });
    if (fault == QStringLiteral("locked"))
        QCOMPARE(other.Open(file), HistoryStore::State::Recording);
    HistoryStore store;
    store.SetClock([&now] { return now; });
    QSignalSpy messages(&store, &HistoryStore::Message);
    const int opened = int(store.Open(file));
    if (fault == QStringLiteral("full")) {
        QCOMPARE(opened, int(HistoryStore::State::Recording));
        // The file may not grow past its size now: writes fail as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{}, limit{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        limit = old;
        limit.rlim_cur = QFileInfo(file).size();
        ::setrlimit(RLIMIT_FSIZE, &limit);
        write(store, 400);
        ::setrlimit(RLIMIT_FSIZE, &old);
    }
    if (fault != QStringLiteral("full"))
        QCOMPARE(opened, state);
    QCOMPARE(int(store.CurrentState()), state);
    write(store, 3); // goes on, with no further message
    if (quiet) {
        QCOMPARE(messages.count(), 0);
        store.Close();
        QCOMPARE(Sqlite(file, QStringLiteral("PRAGMA application_id; PRAGMA user_version; SELECT "
                                             "count(*), max(output) FROM readings; SELECT count(*) "
                                             "FROM transmissions")),
                 QStringLiteral("1332901483\n2\n103|199.0\n0"));
        return;
    }
    QCOMPARE(messages.count(), 1);
    QVERIFY2(messages.at(0).at(0).toString().contains(message),
             qPrintable(messages.at(0).at(0).toString()));
    QVERIFY(messages.at(0).at(0).toString().contains(file));
    if (fault == QStringLiteral("folder") || fault == QStringLiteral("infolder"))
        QVERIFY(messages.at(0).at(0).toString().contains(
            QStringLiteral("the folder %1 cannot be written").arg(folder)));

    const QStringList aside = QDir(folder).entryList({QStringLiteral("history.sqlite.broken-*")});
    if (state == int(HistoryStore::State::Recording)) {
        // Moved aside whole, and a new history in its place takes the rows.
        QCOMPARE(aside.filter(QRegularExpression(QStringLiteral("broken-[0-9-]+$"))).size(), 1);
        QFile kept(folder + QLatin1Char('/') +
                   aside.filter(QRegularExpression(QStringLiteral("[0-9]$"))).first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);
        store.Close();
        QCOMPARE(Sqlite(file, QStringLiteral("SELECT count(*), min(output) FROM readings")),
                 QStringLiteral("3|100.0"));
    } else {
        QVERIFY(aside.isEmpty());
    }
    if (state == int(HistoryStore::State::Refused)) { // left as it was
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);
    }
    if (fault == QStringLiteral("locked") || fault == QStringLiteral("full")) {
        // The other program's rows are whole, and this one can still read them.
        other.Close();
        HistoryReader reader;
        QVERIFY2(reader.Open(file), qPrintable(reader.Error()));
        QVERIFY(reader.Rows(0, T0 / 1000 + 1000).size() >= 100);
        QCOMPARE(Sqlite(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Rows and events older than Days= go a few hundred at a time, one step a
// commit, and nothing newer goes.
void TestHistoryStore::retentionInSteps() {
    const QString file = dir.filePath(QStringLiteral("retention.sqlite"));
    const qint64 day = 86400;
    qint64 now = T0;
    {
        HistoryStore store;
        store.SetClock([&now] { return now; });
        QCOMPARE(store.Open(file), HistoryStore::State::Recording);
    }
    // 1 200 rows and events of 40 days ago, 10 of 29 days ago.
    const QString fill = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 1209)"
        " INSERT INTO readings (t, output, flags) SELECT %1 + i - (i >= 1200) * (1200 - %2), i, 0 "
        "FROM n;"
        " INSERT INTO events (t_ms, kind) SELECT t * 1000, 'band' FROM readings;");
    QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"),
                               {file, fill.arg(T0 / 1000 - 40 * day).arg(11 * day)}),
             0);
    HistoryStore store;
    store.SetClock([&now] { return now; });
    store.SetRetentionDays(30);
    QCOMPARE(store.Open(file), HistoryStore::State::Recording);
    store.FlushTimer()->stop();
    const QString count =
        QStringLiteral("SELECT (SELECT count(*) FROM readings), (SELECT count(*) FROM events)");
    // And the three events of the two recordings' starts and end.
    const QStringList afterEachStep = {QStringLiteral("710|713"), QStringLiteral("210|213"),
                                       QStringLiteral("10|13"), QStringLiteral("10|13")};
    for (const QString &expected : afterEachStep) {
        now += 1000;
        store.Flush();
        QCOMPARE(Sqlite(file, count), expected);
    }
    QCOMPARE(Sqlite(file, QStringLiteral("SELECT min(output) FROM readings")),
             QStringLiteral("1200.0"));
}

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_historystore.moc"
