// Scenario commands and their timing, driven by an explicit clock.
#include "SimScenario.h"

#include <QTest>

using namespace sim;
using Lines = QList<QByteArray>;

class TestSimScenario : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void transmission();
    void sourceRunsInOrder();
    void sourcesRunSideBySide();
    void temperatureDrift();
    void tuning_data();
    void tuning();
    void tuneRequestWhileTuning();
    void splitReport();
    void garbage();
    void deviceActions();
    void confirmAndSilentFromScript();
    void repeat();
    void scriptErrors();
    void demo();
};

// Lines written, in order, with the time each write became due.
struct Written {
    Lines lines;
    QList<qint64> times;
};

static Written runUntil(Scheduler &s, qint64 from, qint64 to, qint64 step = 10) {
    Written w;
    for (qint64 t = from; t <= to; t += step) {
        for (const Action &a : s.takeDue(t)) {
            if (a.kind != Action::Write)
                continue;
            QByteArray bytes = a.bytes;
            if (bytes.endsWith("\r\n"))
                bytes.chop(2);
            w.lines.append(bytes);
            w.times.append(t);
        }
    }
    return w;
}

static int valueOf(const QByteArray &line) {
    return line.mid(line.indexOf(' ') + 1).toInt();
}

void TestSimScenario::parse_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");

    const char *const good[] = {
        "tx 500 10 1", "tx 0 0 0.1",   "alarm hpout",  "alarm OFF",      "temp 40",
        "temp hot",    "temp 45 10",   "tune",         "tune fail fine", "say O: 850",
        "say",         "send A\\r\\n", "split O: 500", "garbage",        "garbage 100",
        "unplug",      "replug",       "wait 0.5",     "set band 5",     "confirm off",
        "silent on",   "repeat",       "quit",         "help",           "  wait 1  "};
    for (const char *line : good)
        QTest::newRow(line) << QByteArray(line) << true;
    const char *const bad[] = {
        "tx",        "tx 100 10",  "tx a 1 1", "tx 100 10 0", "tx 10000 1 1",  "tx 1 1 1 1",
        "alarm FOO", "alarm",      "temp",     "temp x 5",    "temp 40 -1",    "tune great",
        "wait -1",   "wait x",     "wait",     "set band 9",  "set nothing 1", "confirm maybe",
        "silent",    "garbage 1",  "send \\q", "send",        "split",         "unplug now",
        "bogus",     "TX 500 10 1"};
    for (const char *line : bad)
        QTest::newRow(line) << QByteArray(line) << false;
}

void TestSimScenario::parse() {
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    QString error;
    const auto cmd = parseCommand(line, &error);
    QCOMPARE(cmd.has_value(), valid);
    QCOMPARE(error.isEmpty(), valid);
    QVERIFY(!error.contains(QLatin1Char('\n')));

    // Comments and blank lines are no commands and no errors.
    QVERIFY(!parseCommand("# tx 1 1 1", &error) && error.isEmpty());
    QVERIFY(!parseCommand("   ", &error) && error.isEmpty());
}

void TestSimScenario::transmission() {
    AmpCore core;
    Scheduler s(core);
    QString error;
    QVERIFY(s.submit(Scheduler::Input, "tx 1000 50 1", 0, &error));

    Written w = runUntil(s, 0, 99);
    QCOMPARE(w.lines, Lines{"TX: ON"});
    QVERIFY(core.state.transmitting);
    QCOMPARE(s.nextDue(), qint64(100));

    w = runUntil(s, 100, 1200);
    // Ten pairs of readings, one pair every 100 ms, then the peak and the end.
    QCOMPARE(w.lines.size(), 22);
    int peak = 0;
    for (int i = 0; i < 10; ++i) {
        const QByteArray out = w.lines.at(2 * i), rev = w.lines.at(2 * i + 1);
        QVERIFY2(out.startsWith("O: ") && rev.startsWith("R: "), out + " / " + rev);
        QCOMPARE(w.times.at(2 * i), qint64(100 * (i + 1)));
        const int watts = valueOf(out);
        QVERIFY(watts > 0 && watts <= 1030);
        QVERIFY(valueOf(rev) >= 0 && valueOf(rev) <= 52);
        if (i >= 2 && i <= 8) // the ramp is over: within the 3 % jitter
            QVERIFY2(watts >= 970, out);
        peak = std::max(peak, watts);
    }
    QVERIFY(valueOf(w.lines.at(0)) < valueOf(w.lines.at(4))); // it rises
    QCOMPARE(w.lines.at(20), QByteArray("P_max: ") + QByteArray::number(peak));
    QCOMPARE(w.lines.at(21), QByteArray("TX: OFF"));
    QCOMPARE(w.times.at(21), qint64(1100));
    QVERIFY(!core.state.transmitting);
    QCOMPARE(s.nextDue(), qint64(-1));
}

void TestSimScenario::sourceRunsInOrder() {
    AmpCore core;
    Scheduler s(core);
    const QStringList errors = s.loadScript("tx 100 1 0.5\nalarm SWR\nwait 2\nsay A\n", 0);
    QVERIFY(errors.isEmpty());
    const Written w = runUntil(s, 0, 5000);
    const int alarm = static_cast<int>(w.lines.indexOf("ALARM: SWR"));
    QCOMPARE(w.lines.at(alarm - 1), QByteArray("TX: OFF"));
    QCOMPARE(w.times.at(alarm), qint64(600));
    QCOMPARE(w.lines.last(), QByteArray("A"));
    QCOMPARE(w.times.last(), qint64(2600));
}

void TestSimScenario::sourcesRunSideBySide() {
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript("wait 5\nsay S\n", 0).isEmpty());
    QString error;
    QVERIFY(s.submit(Scheduler::Input, "say I", 1000, &error));
    const Written w = runUntil(s, 1000, 6000);
    QCOMPARE(w.lines, (Lines{"I", "S"}));
    QCOMPARE(w.times, (QList<qint64>{1000, 5000}));
    // An idle source starts a new command at once, not at its old ready time.
    QVERIFY(s.submit(Scheduler::Input, "say J", 9000, &error));
    QCOMPARE(s.nextDue(), qint64(9000));
}

void TestSimScenario::temperatureDrift() {
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript("temp 38 3\ntemp 36\ntemp hot\n", 0).isEmpty());
    Written w = runUntil(s, 0, 1999);
    QCOMPARE(w.lines, Lines{"T: 36"});
    QCOMPARE(core.state.temperature, QByteArray("36"));
    QCOMPARE(core.handleLine("T?").lines, Lines{"T: 36"});
    w = runUntil(s, 2000, 4000);
    QCOMPARE(w.lines, (Lines{"T: 37", "T: 38", "T: 36", "T: hot"}));
    QCOMPARE(w.times.at(1), qint64(3000));
    QCOMPARE(core.state.temperature, QByteArray("hot"));
}

void TestSimScenario::tuning_data() {
    QTest::addColumn<int>("band");
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<Lines>("expected"); // progress "SWR: " lines left out

    QTest::newRow("tuned") << 4 << QByteArray("ok") << QByteArray("TUNE ON")
                           << Lines{"ATU_INF: 3",      "YELLOW",      "END_L: 00010110",
                                    "END_C: 00011001", "END_SWR: 12", "END_K: 0",
                                    "GREEN",           "ATU_INF: 4",  "TUNE OFF",
                                    "ATU_INF: 0"};
    QTest::newRow("fine tuned") << 4 << QByteArray("ok") << QByteArray("TUNE FINE")
                                << Lines{"ATU_INF: 3",      "YELLOW",      "END_L: 00010110",
                                         "END_C: 00011000", "END_SWR: 12", "END_K: 0",
                                         "GREEN",           "ATU_INF: 4",  "TUNE OFF",
                                         "ATU_INF: 0"};
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

void TestSimScenario::tuning() {
    QFETCH(int, band);
    QFETCH(QByteArray, result);
    QFETCH(QByteArray, request);
    QFETCH(Lines, expected);

    AmpCore core;
    core.state.atuFitted = true;
    core.state.atuState = 1;
    core.state.band = band;
    QVERIFY(core.setValue("tuneresult", result).isEmpty());
    Scheduler s(core);
    QCOMPARE(s.received(request, 0), Lines{});
    QVERIFY(s.tuning(0));
    Written w = runUntil(s, 0, 10000);
    Lines withoutProgress;
    for (const QByteArray &line : w.lines) {
        if (!line.startsWith("SWR: "))
            withoutProgress.append(line);
    }
    QCOMPARE(withoutProgress, expected);
    QVERIFY(!s.tuning(10000));
    // "ATU_INF: 0" comes three seconds after "TUNE OFF".
    const qint64 off = w.times.at(w.lines.indexOf("TUNE OFF"));
    QCOMPARE(w.times.last() - off, qint64(3000));
}

void TestSimScenario::tuneRequestWhileTuning() {
    AmpCore core;
    core.state.atuFitted = true;
    core.state.atuState = 1;
    Scheduler s(core);
    s.received("TUNE ON", 0);
    runUntil(s, 0, 500);
    s.received("TUNE ON", 510);
    const Written w = runUntil(s, 510, 20000);
    QCOMPARE(w.lines.count("ATU_INF: 3"), 0);
    QCOMPARE(w.lines.count("TUNE OFF"), 1);
    // Once the cycle is over, a new request starts a new one.
    s.received("TUNE ON", 20000);
    QCOMPARE(runUntil(s, 20000, 20000).lines.value(0), QByteArray("ATU_INF: 3"));
}

void TestSimScenario::splitReport() {
    AmpCore core;
    Scheduler s(core);
    QString error;
    QVERIFY(s.submit(Scheduler::Input, "split O: 500", 0, &error));
    QVERIFY(s.submit(Scheduler::Input, "say next", 0, &error));
    const QList<Action> first = s.takeDue(0);
    QCOMPARE(first.size(), 1);
    QVERIFY(!first.at(0).bytes.contains('\r'));
    QCOMPARE(s.takeDue(249).size(), 0);
    const QList<Action> second = s.takeDue(250);
    QCOMPARE(second.size(), 2);
    QCOMPARE(first.at(0).bytes + second.at(0).bytes, QByteArray("O: 500\r\n"));
    QCOMPARE(second.at(1).bytes, QByteArray("next\r\n"));
}

void TestSimScenario::garbage() {
    AmpCore core;
    Scheduler s(core);
    QString error;
    QVERIFY(s.submit(Scheduler::Input, "garbage 64", 0, &error));
    QVERIFY(s.submit(Scheduler::Input, "send A\\x00\\xff\\r", 0, &error));
    const QList<Action> due = s.takeDue(0);
    QCOMPARE(due.size(), 2);
    const QByteArray junk = due.at(0).bytes;
    QCOMPARE(junk.size(), 66);
    QVERIFY(junk.endsWith("\r\n"));
    QCOMPARE(junk.count('\r'), 1);
    QVERIFY(junk.contains('\0'));
    QVERIFY(std::any_of(junk.begin(), junk.end(), [](char c) { return (c & 0x80) != 0; }));
    QCOMPARE(due.at(1).bytes, QByteArray("A\0\xff\r", 4));
}

void TestSimScenario::deviceActions() {
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript("unplug\nwait 1\nreplug\nhelp\nquit\n", 0).isEmpty());
    QList<Action::Kind> kinds;
    for (qint64 t : {0, 999, 1000})
        for (const Action &a : s.takeDue(t))
            kinds.append(a.kind);
    QCOMPARE(kinds,
             (QList<Action::Kind>{Action::Unplug, Action::Replug, Action::Print, Action::Quit}));
}

void TestSimScenario::confirmAndSilentFromScript() {
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript("confirm off\nwait 1\nconfirm on\nwait 1\nsilent on\n", 0).isEmpty());
    s.takeDue(0);
    QCOMPARE(s.received("BL:ON", 0), Lines{});
    QCOMPARE(s.received("BL?", 0), Lines{"BL:ON"});
    s.takeDue(1000);
    QCOMPARE(s.received("BL:OFF", 1000), Lines{"BL:OFF"});
    s.takeDue(2000);
    QCOMPARE(s.received("BL:ON", 2000), Lines{});
    QCOMPARE(s.received("PA?", 2000), Lines{});
}

void TestSimScenario::repeat() {
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript("say A\nwait 1\nrepeat\n", 0).isEmpty());
    Written w = runUntil(s, 0, 2500);
    QCOMPARE(w.times, (QList<qint64>{0, 1000, 2000}));

    // A pass that takes no time is held to one a second instead of spinning.
    Scheduler fast(core);
    QVERIFY(fast.loadScript("say B\nrepeat\n", 0).isEmpty());
    w = runUntil(fast, 0, 2500);
    QCOMPARE(w.times, (QList<qint64>{0, 1000, 2000}));

    // "repeat" typed on stdin only says it does not apply there.
    Scheduler typed(core);
    QString error;
    QVERIFY(typed.submit(Scheduler::Input, "repeat", 0, &error));
    const QList<Action> due = typed.takeDue(0);
    QCOMPARE(due.size(), 1);
    QCOMPARE(due.at(0).kind, Action::Print);
}

void TestSimScenario::scriptErrors() {
    AmpCore core;
    Scheduler s(core);
    const QStringList errors = s.loadScript("say A\nbogus 1\n# fine\ntx 1\nsay B\n", 0);
    QCOMPARE(errors.size(), 2);
    QVERIFY(errors.at(0).startsWith(QLatin1String("line 2: ")));
    QVERIFY(errors.at(1).startsWith(QLatin1String("line 4: ")));
    QCOMPARE(runUntil(s, 0, 10).lines, (Lines{"A", "B"}));
}

void TestSimScenario::demo() {
    AmpCore core;
    Scheduler s(core);
    QVERIFY(s.loadScript(demoScript(), 0).isEmpty());
    s.takeDue(0);
    QVERIFY(core.state.atuFitted); // fitted before the panel asks
    const Written w = runUntil(s, 0, 120000, 50);
    for (const char *line :
         {"TX: ON", "TX: OFF", "ALARM: SWR", "ALARM: OFF", "T: 44", "T: 36", "ATU_INF: 4"})
        QVERIFY2(w.lines.contains(line), line);
    // It goes on for ever: transmissions in the second pass too.
    QVERIFY(w.lines.count("TX: ON") > 5);
    QVERIFY(s.nextDue() > 0);
}

QTEST_GUILESS_MAIN(TestSimScenario)
#include "tst_simscenario.moc"
