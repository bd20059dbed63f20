// SPDX-License-Identifier: GPL-3.0-or-later
// Soak: the simulated amplifier streams power reports, alarms, tuning
// cycles, binary garbage and lines split across writes while the panel
// polls with its real timers. At the end the port monitor saves its log.
// Every line the simulator wrote must have entered the monitor's log, and
// each is either still there (and in the saved file) or was cut when the
// log was emptied; memory must not grow beyond the log's bound.
//
// The run lasts 60 s; `tst_soak --seconds 600` runs the long version.
#include "MonitorRecorder.h"
#include "sim/SimText.h"
#include "tests/common/PanelFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

namespace {
int g_seconds = 60;

double RssMb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// The lines in a stream of writes: cut at CR, an LF right after it dropped.
QList<QByteArray> LinesOf(const QByteArray &stream) {
    sim::LineFramer framer;
    return framer.feed(stream);
}

// One round of traffic, a few seconds long.
const char *const Round[] = {
    "tx 900 15 2",
    "alarm SWR",
    "garbage 40",
    "split O: 777",
    "say IN_ALARM_PWM: 1",
    "alarm HPCONT",
    "alarm OFF",
    "temp 61",
    "tune ok",
    "garbage 300",
    "send R: 4\\r\\nO: 12\\r\\nT: 3",
    "send 9\\r\\n",
    "say B_soak",
    "tx 400 30 1",
    "temp 35",
};
} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void streamWhilePolling();
};

void TestSoak::streamWhilePolling() {
    PanelFixture f;
    QVERIFY2(f.start({QStringLiteral("--atu")}, false), qPrintable(f.sim.errorString()));
    PortMonitor *monitor = f.monitorWindow();
    MonitorRecorder recorder(f.mon.Memo1);
    QVERIFY(f.connect());

    QElapsedTimer t;
    t.start();
    double rssAfterWarmUp = 0, rssPeak = 0;
    int rounds = 0;
    while (t.elapsed() < qint64(g_seconds) * 1000) {
        // Keep two rounds queued in the simulator, no more: each ends with
        // a marker line, and the next is queued when the last but one shows.
        if (rounds < 2 || recorder.seen.contains(QStringLiteral("+ ROUND-%1").arg(rounds - 2))) {
            for (const char *command : Round)
                f.sim.say(command);
            f.sim.say("say ROUND-" + QByteArray::number(rounds));
            ++rounds;
        }
        QTest::qWait(250);
        const double rss = RssMb();
        if (rssAfterWarmUp == 0 && t.elapsed() > qint64(g_seconds) * 200)
            rssAfterWarmUp = rss;
        rssPeak = std::max(rssPeak, rss);
        QVERIFY2(f.main->Link.State().IsConnected(), "the connection stays up");
    }
    // The marker comes after everything queued; then the port closes.
    f.sim.say("say SOAK-END");
    QTRY_VERIFY_WITH_TIMEOUT(recorder.seen.contains(QStringLiteral("+ SOAK-END")), 60000);
    QCOMPARE(f.boxes.size(), 0);
    f.main->Link.Close();
    QTest::qWait(200);
    // Closing reports the disconnection; saving adds no box.
    const qsizetype boxes = f.boxes.size();

    // Save the log where the test can read it.
    QTemporaryDir cwd;
    const QString before = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    f.mon.Savealltofile1->trigger();
    QDir::setCurrent(before);
    QCOMPARE(f.boxes.size(), boxes);
    QFile saved(cwd.filePath(QStringLiteral("PortMonitor.txt")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> savedLines = saved.readAll().split('\n');
    const QStringList finalLog = monitor->Lines();
    QCOMPARE(savedLines.size(), finalLog.size() + 1); // each line ends in CR LF
    for (int i = 0; i < finalLog.size(); ++i)
        QCOMPARE(savedLines.at(i), Protocol::ToLine(finalLog.at(i)) + '\r');

    // Every line the simulator wrote, in order, entered the log as "+ " + line.
    QByteArray written;
    for (const sim::LogRecord &r : f.sim.logRecords())
        if (r.kind == sim::LogKind::Sent)
            written += r.bytes;
    const QList<QByteArray> sent = LinesOf(written);
    QVERIFY(sent.size() > rounds * 10);
    qsizetype at = 0;
    for (const QByteArray &line : sent) {
        const QString entry = QStringLiteral("+ ") + Protocol::FromLine(line);
        const qsizetype found = recorder.seen.indexOf(entry, at);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("never logged: ") + entry));
        at = found + 1;
    }
    // Each line that entered the log is still there or was cut.
    QCOMPARE(recorder.seen.size(), recorder.cut + finalLog.size());
    QVERIFY(recorder.cuts > 0);
    QVERIFY(recorder.peakLines <= 1001);
    qInfo("%d rounds, %lld lines written, %lld log lines, %lld cut in %d emptyings; RSS %.1f MB "
          "after warm-up, %.1f MB peak",
          rounds, qint64(sent.size()), qint64(recorder.seen.size()), recorder.cut, recorder.cuts,
          rssAfterWarmUp, rssPeak);
    QVERIFY2(rssPeak - rssAfterWarmUp < 15, "memory grows beyond the log's bound");
}

int main(int argc, char **argv) {
    // --seconds N is ours; the rest goes to the test framework.
    QList<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (qstrcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            g_seconds = QByteArray(argv[++i]).toInt();
        else
            args.append(argv[i]);
    }
    // A long run outlasts the test framework's default limit per function.
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number((qint64(g_seconds) * 1 + 300) * 1000));
    int n = int(args.size());
    QApplication app(n, args.data());
    TestSoak test;
    return QTest::qExec(&test, n, args.data());
}

#include "tst_soak.moc"
