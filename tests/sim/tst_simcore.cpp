// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated amplifier: its protocol table, line framing and log format, and
// the scenario commands with their timing, driven by an explicit clock.
#include "SimCore.h"
#include "SimScenario.h"
#include "SimText.h"

#include <QTest>

using namespace sim;
using Lines = QList<QByteArray>;

class TestSimCore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void protocol_data();
    void protocol();
    void framer_data();
    void framer();
    void logEntries();
    void parse_data();
    void parse();
    void transmission();
    void silence_data();
    void silence();
    void sources();
    void temperatureDrift();
    void tuning_data();
    void tuning();
    void tuneRequestWhileTuning();
    void rawWrites();
    void scriptControl();
    void demo();
};

void TestSimCore::protocol_data() {
    // options: "noconfirm", "silent", "afterN" (ignore N queries) and NAME=VALUE,
    // set as a scenario's "set" command does; each refused value adds "(refused)".
    QTest::addColumn<QString>("options");
    QTest::addColumn<Lines>("sent");
    QTest::addColumn<Lines>("expected"); // a tuning request shows as "(tune)" / "(tune fine)"
    auto row = [](const char *name, const char *options, const Lines &sent, const Lines &expected) {
        QTest::newRow(name) << QString::fromLatin1(options) << sent << expected;
    };
    row("identification", "", {"PA?"}, {"PA_QZ9QZ"});
    row("near misses of PA?", "", {"PA", "pa?", "PA? ", " PA?", "PA?\n"}, {});
    row("start-up burst", "",
        {"B?", "InPower?", "T?", "ALM?", "ALC_PWM?", "F?", "I?", "LB?", "CAL?", "BAR?", "TOT?",
         "Ver?", "ATU_INST?"},
        {"B: 3", "InPower: 1", "T: 35", "ALM: 1", "ALC_PWM: 100", "F: 3", "I: 5", "CAL: 200",
         "BAR: 3", "TOT: 1", "Ver: 3.30", "ATU_INST: 0"});
    row("tuner queries", "atu=1", {"ATU_INST?", "ATU_STATE?", "SWRmin?"},
        {"ATU_INST: 1", "ATU_STATE: 0", "SWRmin: 14"});
    row("scenario values", "band=7 inpower=2 cal=255 temp=100 version=3.30x2",
        {"B?", "InPower?", "CAL?", "T?", "Ver?"},
        {"B: 7", "InPower: 2", "CAL: 255", "T: 100", "Ver: 3.30x2"});
    row("refused scenario values", "band=8 cal=x atu=yes version= colour=1 tuneresult=great",
        {"B?", "CAL?", "ATU_INST?", "Ver?"},
        {"(refused)", "(refused)", "(refused)", "(refused)", "(refused)", "(refused)", "B: 3",
         "CAL: 200", "ATU_INST: 0", "Ver: 3.30"});
    row("unknown lines", "", {"???", "", "CMEM", "hello"}, {});
    row("settings echo and stick", "",
        {"B: 7", "ALM: 3", "ALC_PWM: 0", "ALC_PWM: 255", "F: 2", "I: 7", "BAR: 4", "TOT: 2",
         "SWRmin: 17", "SWRmin: 11", "B?", "ALM?", "ALC_PWM?", "F?", "I?", "BAR?", "TOT?",
         "SWRmin?"},
        {"B: 7", "ALM: 3", "ALC_PWM: 0", "ALC_PWM: 255", "F: 2", "I: 7", "BAR: 4", "TOT: 2",
         "SWRmin: 17", "SWRmin: 11", "B: 7", "ALM: 3", "ALC_PWM: 255", "F: 2", "I: 7", "BAR: 4",
         "TOT: 2", "SWRmin: 11"});
    row("settings out of range are ignored", "",
        {"B: 8", "B: 0", "F: 5", "I: 0", "BAR: 9", "TOT: 0", "ALM: 4", "ALC_PWM: 256", "SWRmin: 10",
         "SWRmin: 18", "B?", "F?", "ALC_PWM?", "SWRmin?"},
        {"B: 3", "F: 3", "ALC_PWM: 100", "SWRmin: 14"});
    row("malformed settings are ignored", "",
        {"F: x", "F: ", "F: 2 ", "F:2", "F: -2", "F: +2", "B: 3x", "f: 2", "F?"}, {"F: 3"});
    row("input power and calibration are not settable", "",
        {"InPower: 2", "CAL: 10", "InPower?", "CAL?"}, {"InPower: 1", "CAL: 200"});
    row("ptt block confirmed", "", {"BL:ON", "BL:OFF", "BL:OFF"}, {"BL:ON", "BL:OFF", "BL:OFF"});
    row("ptt block never confirmed", "noconfirm", {"BL:ON", "BL:ON", "BL?"}, {"BL:ON"});
    row("atu switch confirmed", "atu=1", {"ATU_STATE: 1", "ATU_STATE?", "ATU_STATE: 0"},
        {"ATU_STATE: 1", "ATU_STATE: 1", "ATU_STATE: 0"});
    row("atu switch never confirmed", "atu=1 noconfirm", {"ATU_STATE: 1", "ATU_STATE?"},
        {"ATU_STATE: 1"});
    row("atu switch without a tuner", "", {"ATU_STATE: 1", "ATU_STATE: 2", "ATU_STATE?"},
        {"ATU_STATE: 0"});
    row("tune in line", "atu=1 atustate=1", {"TUNE ON", "TUNE FINE", "tune on"},
        {"(tune)", "(tune fine)"});
    row("tune bypassed", "atu=1", {"TUNE ON"}, {"TUNE OFF"});
    row("tune without a tuner", "atustate=1", {"TUNE ON"}, {});
    row("silent amplifier", "silent atu=1 atustate=1",
        {"PA?", "B?", "BL:ON", "F: 2", "ATU_STATE: 1", "TUNE ON"}, {});
    row("answer after two queries", "after2", {"PA?", "PA?", "PA?", "PA?"},
        {"PA_QZ9QZ", "PA_QZ9QZ"});
    row("only answerable queries are counted", "after2",
        {"LB?", "???", "", "F: 2", "PA?", "B?", "PA?"}, {"F: 2", "PA_QZ9QZ"});
}

void TestSimCore::protocol() {
    QFETCH(QString, options);
    QFETCH(Lines, sent);
    AmpCore core;
    Lines answers;
    for (const QString &o : options.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (o.contains(QLatin1Char('='))) {
            const QString error = core.setValue(o.section(QLatin1Char('='), 0, 0).toLatin1(),
                                                o.section(QLatin1Char('='), 1).toLatin1());
            QVERIFY(!error.contains(QLatin1Char('\n')));
            if (!error.isEmpty())
                answers += "(refused)";
        } else if (o == QLatin1String("noconfirm"))
            core.confirmSwitches = false;
        else if (o == QLatin1String("silent"))
            core.silent = true;
        else if (o.startsWith(QLatin1String("after")))
            core.ignoreQueries = o.mid(5).toInt();
    }
    for (const QByteArray &line : sent) {
        const Reply reply = core.handleLine(line);
        answers += reply.lines;
        if (reply.startTune)
            answers += reply.fineTune ? "(tune fine)" : "(tune)";
        else
            QVERIFY(!reply.fineTune);
    }
    QTEST(answers, "expected");
}

void TestSimCore::framer_data() {
    QTest::addColumn<Lines>("chunks");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QByteArray>("pending");
    QTest::newRow("LF in the next chunk")
        << Lines{"PA?\r", "\nB?\r\n"} << Lines{"PA?", "B?"} << QByteArray();
    QTest::newRow("bare lines") << Lines{"\r\n\r\n", "\r\n"} << Lines{"", "", ""} << QByteArray();
    QTest::newRow("byte by byte") << Lines{"F", ":", " ", "2", "\r", "\n"} << Lines{"F: 2"}
                                  << QByteArray();
    QTest::newRow("CR alone ends a line")
        << Lines{"A\rB\r\r\n"} << Lines{"A", "B", ""} << QByteArray();
    QTest::newRow("LF alone stays in the line")
        << Lines{"A\nB\r\n"} << Lines{"A\nB"} << QByteArray();
    QTest::newRow("NUL and high bytes kept")
        << Lines{QByteArray("X\0\xff\xb5Y\r\n", 7)} << Lines{QByteArray("X\0\xff\xb5Y", 5)}
        << QByteArray();
    QTest::newRow("unfinished line waits") << Lines{"B?\r\nT"} << Lines{"B?"} << QByteArray("T");
}

void TestSimCore::framer() {
    QFETCH(Lines, chunks);
    LineFramer framer;
    Lines got;
    for (const QByteArray &chunk : chunks)
        got += framer.feed(chunk);
    QTEST(got, "lines");
    QTEST(framer.pending(), "pending");
    framer.reset();
    QCOMPARE(framer.feed("\nX\r\n"), Lines{"\nX"}); // reset forgets the pending LF drop too
}

void TestSimCore::logEntries() {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    const QTime time(23, 59, 58, 7);
    LogRecord record;
    for (const QByteArray &bytes : {QByteArray(), QByteArray(" lead"), all}) {
        const QByteArray entry = logEntry(time, LogKind::Received, bytes);
        QVERIFY(entry.startsWith("23:59:58.007 < ") && !entry.contains('\n'));
        QVERIFY(parseLogEntry(entry, &record));
        QCOMPARE(record.kind, LogKind::Received);
        QCOMPARE(record.time, time);
        QCOMPARE(record.bytes, bytes);
    }
    // Printable ASCII stays, the rest is escaped; an escape can be read back.
    QCOMPARE(logEntry(time, LogKind::Sent, QByteArray("O: 8\r\n\t\0\x7f\xb5\\", 11)),
             QByteArray("23:59:58.007 > O: 8\\r\\n\\t\\x00\\x7f\\xb5\\\\"));
    QVERIFY(parseLogEntry("12:00:00.000 <", &record)); // trailing blank trimmed away
    QCOMPARE(record.bytes, QByteArray());
    QVERIFY(unescapeBytes("\\0", &record.bytes) && record.bytes == QByteArray(1, '\0'));
    for (const char *bad : {"12:00:00.000 ? x", "garbage", "12:00:00.000 < \\q",
                            "12:00:00.000 < \\x4", "12:00:00.000 < \\xg0", "12:00:00.000 < a\\"})
        QVERIFY2(!parseLogEntry(bad, &record), bad);
}

// Lines written, in order, with the time each write became due.
struct Written {
    Lines lines;
    QList<qint64> times;
};

static Written runUntil(Scheduler &s, qint64 from, qint64 to, qint64 step = 10) {
    Written w;
    for (qint64 t = from; t <= to; t += step) {
        for (const Action &a : s.takeDue(t)) {
            if (a.kind == Action::Write) {
                w.lines.append(a.bytes.endsWith("\r\n") ? a.bytes.chopped(2) : a.bytes);
                w.times.append(t);
            }
        }
    }
    return w;
}

static int valueOf(const QByteArray &line) {
    return line.mid(line.indexOf(' ') + 1).toInt();
}

void TestSimCore::parse_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");
    for (const char *line : {"tx 0 0 0.1", "alarm hpout", "temp hot", "temp 45 10", "tune",
                             "tune fail fine", "say", "garbage", "wait 0.5", "set band 5",
                             "silent on", "  wait 1  ", "tx 800 32 10 &", "tune &", "say A &"})
        QTest::newRow(line) << QByteArray(line) << true;
    for (const char *line :
         {"tx",          "tx 100 10",     "tx a 1 1",      "tx 100 10 0", "tx 10000 1 1",
          "tx 1 1 1 1",  "alarm FOO",     "alarm",         "temp",        "temp x 5",
          "temp 40 -1",  "tune great",    "wait -1",       "wait x",      "wait",
          "set band 9",  "set nothing 1", "confirm maybe", "silent",      "garbage 1",
          "send \\q",    "send",          "split",         "unplug now",  "bogus",
          "TX 500 10 1", "tx 800 32 10&", "tx 800 32 &",   "&",           "repeat &"})
        QTest::newRow(line) << QByteArray(line) << false;
}

void TestSimCore::parse() {
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    QString error;
    QCOMPARE(parseCommand(line, &error).has_value(), valid);
    QCOMPARE(error.isEmpty(), valid);
    QVERIFY(!error.contains(QLatin1Char('\n')));
    // Comments and blank lines are no commands and no errors.
    QVERIFY(!parseCommand("# tx 1 1 1", &error) && error.isEmpty());
    QVERIFY(!parseCommand("   ", &error) && error.isEmpty());
}

void TestSimCore::transmission() {
    AmpCore core;
    Scheduler s(core);
    QString error;
    QVERIFY(s.submit(Scheduler::Input, "tx 1000 50 1", 0, &error));
    QCOMPARE(runUntil(s, 0, 99).lines, Lines{"TX: ON"});
    QVERIFY(core.state.transmitting);
    const Written w = runUntil(s, 100, 1200);
    // Ten pairs of readings, one pair every 100 ms, then the peak and the end.
    QCOMPARE(w.lines.size(), 22);
    int peak = 0;
    for (int i = 0; i < 10; ++i) {
        const QByteArray out = w.lines.at(2 * i), rev = w.lines.at(2 * i + 1);
        QVERIFY2(out.startsWith("O: ") && rev.startsWith("R: "), out + " / " + rev);
        QCOMPARE(w.times.at(2 * i), qint64(100 * (i + 1)));
        QVERIFY(valueOf(out) > 0 && valueOf(out) <= 1030);
        QVERIFY(valueOf(rev) >= 0 && valueOf(rev) <= 52);
        QVERIFY2(i < 2 || i > 8 || valueOf(out) >= 970, out); // the ramp is over: 3 % jitter
        peak = std::max(peak, valueOf(out));
    }
    QVERIFY(valueOf(w.lines.at(0)) < valueOf(w.lines.at(4))); // it rises
    QCOMPARE(w.lines.mid(20), (Lines{"P_max: " + QByteArray::number(peak), "TX: OFF"}));
    QCOMPARE(w.times.at(21), qint64(1100));
    QVERIFY(!core.state.transmitting);
    QCOMPARE(s.nextDue(), qint64(-1));
}

void TestSimCore::silence_data() {
    // The script runs from 0; a typed line "MS COMMAND" is submitted at MS.
    // Written: "MS LINE|..." with O:, R: and P_max: values left out.
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<Lines>("typed");
    QTest::addColumn<QString>("written");
    const QString twoReadings = QStringLiteral("0 TX: ON|100 O|100 R|200 O|200 R");
    QTest::newRow("silent in a script, mid-transmission")
        << QByteArray("tx 800 32 0.5 &\nwait 0.25\nsilent on") << Lines() << twoReadings;
    QTest::newRow("silent typed mid-transmission")
        << QByteArray() << Lines{"0 tx 800 32 0.5 &", "250 silent on"} << twoReadings;
    QTest::newRow("typed silent beside a script's transmission")
        << QByteArray("tx 800 32 0.5") << Lines{"250 silent on"} << twoReadings;
    QTest::newRow("reports resume while it runs")
        << QByteArray("tx 800 32 0.5 &\nwait 0.25\nsilent on\nwait 0.1\nsilent off") << Lines()
        << twoReadings + QStringLiteral("|400 O|400 R|500 O|500 R|550 P_max|600 TX: OFF");
    QTest::newRow("nothing of it replayed once over")
        << QByteArray("tx 800 32 0.5 &\nwait 0.25\nsilent on\nwait 1\nsilent off\nsay X") << Lines()
        << twoReadings + QStringLiteral("|1250 X");
    QTest::newRow("a transmission holds a typed silent back")
        << QByteArray() << Lines{"0 tx 800 32 0.2", "100 silent on"}
        << twoReadings + QStringLiteral("|250 P_max|300 TX: OFF");
    QTest::newRow("the scenario's own bytes still go")
        << QByteArray("silent on\nalarm SWR\ntemp 40\ntune &\nsay X\nsend Y\nsplit Z") << Lines()
        << QStringLiteral("0 X|0 Y|0 Z|250 ");
}

void TestSimCore::silence() {
    QFETCH(QByteArray, script);
    QFETCH(Lines, typed);
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript(script, 0).isEmpty());
    QStringList written;
    for (qint64 t = 0; t <= 3000; t += 10) {
        for (const QByteArray &line : typed) {
            QString error;
            if (line.left(line.indexOf(' ')).toLongLong() == t)
                QVERIFY(s.submit(Scheduler::Input, line.mid(line.indexOf(' ') + 1), t, &error));
        }
        for (const Action &a : s.takeDue(t)) {
            QByteArray line = a.bytes.endsWith("\r\n") ? a.bytes.chopped(2) : a.bytes;
            if (line.startsWith("O:") || line.startsWith("R:") || line.startsWith("P_max:"))
                line.truncate(line.indexOf(':'));
            written.append(QString::number(t) + QLatin1Char(' ') + QString::fromLatin1(line));
        }
    }
    QTEST(written.join(QLatin1Char('|')), "written");
    QVERIFY(!core.state.transmitting);
}

void TestSimCore::sources() {
    // Commands of one source run one after another; the two sources side by side.
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript("tx 100 1 0.5\nalarm SWR\nwait 2\nsay A\n", 0).isEmpty());
    QString error;
    QVERIFY(s.submit(Scheduler::Input, "say I", 1000, &error));
    Written w = runUntil(s, 0, 5000);
    QCOMPARE(w.lines.at(w.lines.indexOf("ALARM: SWR") - 1), QByteArray("TX: OFF"));
    QCOMPARE(w.times.at(w.lines.indexOf("ALARM: SWR")), qint64(600));
    QCOMPARE(w.times.at(w.lines.indexOf("I")), qint64(1000));
    QCOMPARE(w.lines.last(), QByteArray("A"));
    QCOMPARE(w.times.last(), qint64(2600));
    // An idle source starts a new command at once, not at its old ready time.
    QVERIFY(s.submit(Scheduler::Input, "say J", 9000, &error));
    QCOMPARE(s.nextDue(), qint64(9000));
}

void TestSimCore::temperatureDrift() {
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript("temp 38 3\ntemp 36\ntemp hot\n", 0).isEmpty());
    QCOMPARE(runUntil(s, 0, 1999).lines, Lines{"T: 36"});
    QCOMPARE(core.handleLine("T?").lines, Lines{"T: 36"});
    const Written w = runUntil(s, 2000, 4000);
    QCOMPARE(w.lines, (Lines{"T: 37", "T: 38", "T: 36", "T: hot"}));
    QCOMPARE(w.times.at(1), qint64(3000));
    QCOMPARE(core.state.temperature, QByteArray("hot"));
}

void TestSimCore::tuning_data() {
    QTest::addColumn<int>("band");
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<Lines>("expected"); // progress "SWR: " lines left out
    const Lines tuned{"ATU_INF: 3", "YELLOW", "END_L: 00010110", "END_C: 00011001", "END_SWR: 12",
                      "END_K: 0",   "GREEN",  "ATU_INF: 4",      "TUNE OFF",        "ATU_INF: 0"};
    Lines fine = tuned;
    fine[3] = "END_C: 00011000";
    QTest::newRow("tuned") << 4 << QByteArray("ok") << QByteArray("TUNE ON") << tuned;
    QTest::newRow("fine tuned") << 4 << QByteArray("ok") << QByteArray("TUNE FINE") << fine;
    QTest::newRow("failed") << 2 << QByteArray("fail") << QByteArray("TUNE ON")
                            << Lines{"ATU_INF: 3", "YELLOW",   "END_SWR: 255", "RED",
                                     "ATU_INF: 5", "TUNE OFF", "ATU_INF: 0"};
    QTest::newRow("not needed") << 2 << QByteArray("noneed") << QByteArray("TUNE ON")
                                << Lines{"ATU_INF: 6", "GREEN", "TUNE OFF", "ATU_INF: 0"};
    QTest::newRow("6 m") << 7 << QByteArray("ok") << QByteArray("TUNE ON")
                         << Lines{"ATU_INF: 7", "RED", "TUNE OFF", "ATU_INF: 0"};
    QTest::newRow("wrong power") << 1 << QByteArray("power") << QByteArray("TUNE ON")
                                 << Lines{"ATU_INF: 1", "RED", "TUNE OFF", "ATU_INF: 0"};
}

void TestSimCore::tuning() {
    QFETCH(int, band);
    QFETCH(QByteArray, result);
    QFETCH(QByteArray, request);
    AmpCore core;
    core.state.atuFitted = true;
    core.state.atuState = 1;
    core.state.band = band;
    QVERIFY(core.setValue("tuneresult", result).isEmpty());
    Scheduler s(core);
    QCOMPARE(s.received(request, 0), Lines{});
    QVERIFY(s.tuning(0));
    const Written w = runUntil(s, 0, 10000);
    Lines withoutProgress;
    for (const QByteArray &line : w.lines) {
        if (!line.startsWith("SWR: "))
            withoutProgress.append(line);
    }
    QTEST(withoutProgress, "expected");
    QVERIFY(!s.tuning(10000));
    // "ATU_INF: 0" comes three seconds after "TUNE OFF".
    QCOMPARE(w.times.last() - w.times.at(w.lines.indexOf("TUNE OFF")), qint64(3000));
}

void TestSimCore::tuneRequestWhileTuning() {
    AmpCore core;
    core.state.atuFitted = true;
    core.state.atuState = 1;
    Scheduler s(core);
    s.received("TUNE ON", 0);
    runUntil(s, 0, 500);
    s.received("TUNE ON", 510); // ignored: a cycle is running
    const Written w = runUntil(s, 510, 20000);
    QCOMPARE(w.lines.count("ATU_INF: 3"), 0);
    QCOMPARE(w.lines.count("TUNE OFF"), 1);
    s.received("TUNE ON", 20000); // once it is over, a new request starts a new one
    QCOMPARE(runUntil(s, 20000, 20000).lines.value(0), QByteArray("ATU_INF: 3"));
}

void TestSimCore::rawWrites() {
    AmpCore core;
    Scheduler s(core);
    QString error;
    for (const char *line : {"split O: 500", "garbage 64", "send A\\x00\\xff\\r"})
        QVERIFY2(s.submit(Scheduler::Input, line, 0, &error), line);
    const QList<Action> first = s.takeDue(0);
    QCOMPARE(first.size(), 1); // the first part of the split report
    QVERIFY(!first.at(0).bytes.contains('\r'));
    QCOMPARE(s.takeDue(249).size(), 0);
    const QList<Action> second = s.takeDue(250);
    QCOMPARE(second.size(), 3);
    QCOMPARE(first.at(0).bytes + second.at(0).bytes, QByteArray("O: 500\r\n"));
    const QByteArray junk = second.at(1).bytes;
    QCOMPARE(junk.size(), 66);
    QVERIFY(junk.endsWith("\r\n") && junk.count('\r') == 1 && junk.contains('\0'));
    QVERIFY(std::any_of(junk.begin(), junk.end(), [](char c) { return (c & 0x80) != 0; }));
    QCOMPARE(second.at(2).bytes, QByteArray("A\0\xff\r", 4));
}

void TestSimCore::scriptControl() {
    AmpCore core;
    Scheduler s(core);
    // Bad lines are reported by number and skipped.
    const QStringList errors = s.loadScript("bogus 1\n# fine\ntx 1\nunplug\nconfirm off\n"
                                            "wait 1\nreplug\nconfirm on\nhelp\nwait 1\n"
                                            "silent on\nquit\n",
                                            0);
    QCOMPARE(errors.size(), 2);
    QVERIFY(errors.at(0).startsWith(QLatin1String("line 1: ")));
    QVERIFY(errors.at(1).startsWith(QLatin1String("line 3: ")));
    QList<Action::Kind> kinds;
    auto take = [&](qint64 t) {
        for (const Action &a : s.takeDue(t))
            kinds.append(a.kind);
    };
    take(0);
    QCOMPARE(s.received("BL:ON", 0), Lines{}); // not confirmed
    QCOMPARE(s.received("BL?", 0), Lines{"BL:ON"});
    take(1000);
    QCOMPARE(s.received("BL:OFF", 1000), Lines{"BL:OFF"});
    take(2000);
    QCOMPARE(s.received("PA?", 2000), Lines{}); // silent
    QCOMPARE(kinds,
             (QList<Action::Kind>{Action::Unplug, Action::Replug, Action::Print, Action::Quit}));

    // "repeat" runs the script again; a pass that takes no time is held to
    // one a second instead of spinning.
    for (const char *script : {"say A\nwait 1\nrepeat\n", "say B\nrepeat\n"}) {
        Scheduler looping(core);
        QVERIFY(looping.loadScript(script, 0).isEmpty());
        QCOMPARE(runUntil(looping, 0, 2500).times, (QList<qint64>{0, 1000, 2000}));
    }
    // Typed on stdin it only says that it does not apply there.
    Scheduler typed(core);
    QString error;
    QVERIFY(typed.submit(Scheduler::Input, "repeat", 0, &error));
    const QList<Action> due = typed.takeDue(0);
    QVERIFY(due.size() == 1 && due.at(0).kind == Action::Print);
}

void TestSimCore::demo() {
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript(demoScript(), 0).isEmpty());
    s.takeDue(0);
    QVERIFY(core.state.atuFitted); // fitted before the panel asks
    const Written w = runUntil(s, 0, 120000, 50);
    for (const char *line :
         {"TX: ON", "TX: OFF", "ALARM: SWR", "ALARM: OFF", "T: 44", "T: 36", "ATU_INF: 4"})
        QVERIFY2(w.lines.contains(line), line);
    QVERIFY(w.lines.count("TX: ON") > 5); // it goes on for ever
    QVERIFY(s.nextDue() > 0);
}

QTEST_GUILESS_MAIN(TestSimCore)
#include "tst_simcore.moc"
