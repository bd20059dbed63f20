// SPDX-License-Identifier: GPL-3.0-or-later
// The connection's life against the simulated amplifier: handshake, port
// lost, an amplifier that stops answering, a line that stops taking data, a
// second program on the port, and the real timers, through the real serial
// code, over the simulator's terminal and over ser2net in front of it (a
// network port). Every way a connection ends is checked over a
// pseudo-terminal in tst_mainwindow. The history of an evening, in the
// headless program and in the panel. The panel program ended by a stop
// signal. onePortOneProgram, historyInThePanel and panelStopSignal also run
// as an unprivileged user (run-unprivileged.sh). One evening with every
// output on, compared step by step.
#include "historywindow/HistoryView.h"
#include "link/Facts.h"
#include "link/StatusView.h"
#include "mqtt/MqttSettings.h"
#include "remote/RemoteServer.h"
#include "serial/PortLock.h"
#include "station/EventLines.h"
#include "tests/common/Headless.h"
#include "tests/common/HistoryFiles.h"
#include "tests/common/PanelFixture.h"
#include "tests/common/Ser2net.h"
#include "tests/mqtt/Mosquitto.h"
#include "web/UsersFile.h"
#include "web/WebServer.h"
#include "widgets/BarMeter.h"
#include "widgets/LedLamp.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLibraryInfo>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QtEndian>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

// A process held still (SIGSTOP) until Continue() or the end of the scope.
struct Stopped {
    pid_t pid;
    explicit Stopped(qint64 process) : pid(pid_t(process)) { ::kill(pid, SIGSTOP); }
    ~Stopped() { Continue(); }
    void Continue() const { ::kill(pid, SIGCONT); }
};

class TestEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void handshakeAnsweredAtThirdTick_data() { routes(); }
    void handshakeAnsweredAtThirdTick();
    void session_data() { routes(); }
    void session();
    void portLostOnUnplug_data() { routes(); }
    void portLostOnUnplug();
    void realTimersConnectWithinASecond();
    void reconnectsOverSer2net();
    void silence_data() { routes(); }
    void silence();
    void stalledLine_data();
    void stalledLine();
    void onePortOneProgram();
    void historyEvening();
    void historyInThePanel();
    void panelStopSignal_data();
    void panelStopSignal();
    void oneEveningEveryOutput();

private:
    static void routes() {
        QTest::addColumn<bool>("network");
        QTest::newRow("terminal") << false;
        QTest::newRow("ser2net") << true;
    }
};

// Keys for a panel program on Qt's VNC platform, sent as a VNC viewer sends
// them (RFB 3.3, no authentication): the one way into another process's
// windows without a display server.
struct VncKeyboard {
    QTcpSocket socket;
    QByteArray read(int n) {
        QByteArray b;
        while (b.size() < n && (socket.bytesAvailable() || socket.waitForReadyRead(5000)))
            b += socket.read(n - b.size());
        return b;
    }
    bool connect(quint16 port) {
        // The program listens once its application object exists.
        QDeadlineTimer deadline(10000);
        for (;;) {
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (socket.waitForConnected(1000))
                break;
            socket.abort();
            if (deadline.hasExpired())
                return false;
            QTest::qWait(100);
        }
        // Versions; "no authentication"; shared; the screen's size, pixels and name.
        if (!read(12).startsWith("RFB ") || socket.write("RFB 003.003\n") != 12 ||
            read(4) != QByteArray("\0\0\0\1", 4) || socket.write("\1", 1) != 1)
            return false;
        const QByteArray init = read(24);
        const int name =
            init.size() == 24 ? int(qFromBigEndian<quint32>(init.constData() + 20)) : -1;
        return name >= 0 && read(name).size() == name;
    }
    void press(quint32 keysym) {
        for (const char down : {1, 0}) {
            char event[8] = {4, down, 0, 0}; // KeyEvent
            qToBigEndian(keysym, event + 4);
            socket.write(event, sizeof event);
        }
        socket.flush();
    }
};

// The panel with the simulator's device named in its configuration, or
// ser2net serving that device and its tcp:// name configured instead.
struct Route {
    PanelFixture f;
    Ser2net bridge;
    // Further lines of the configuration file's section.
    QByteArray settings;
    bool start(bool network, const QStringList &args = {}, bool driveTimers = true) {
        f.link = f.dir.filePath(QStringLiteral("amplifier"));
        if (!f.sim.start(QStringList{QStringLiteral("--link"), f.link} + args))
            return false;
        if (network && !bridge.Start(f.link))
            return false;
        const QString port = network ? bridge.Name() : f.link;
        if (!f.configure(port))
            return false;
        QFile ini(f.dir.filePath(QStringLiteral("Orvik_control.ini")));
        if (!settings.isEmpty() && !(ini.open(QIODevice::Append) && ini.write(settings) > 0))
            return false;
        ini.close();
        f.createWindows(driveTimers);
        return f.main->SelectedPort() == port;
    }
};

void TestEndToEnd::handshakeAnsweredAtThirdTick() {
    QFETCH(bool, network);
    Route r;
    PanelFixture &f = r.f;
    QVERIFY2(r.start(network, {QStringLiteral("--answer-after"), QStringLiteral("3")}),
             qPrintable(f.sim.errorString()));
    f.main->OpenSelectedPort();
    QVERIFY(f.sim.waitForLogged("PA?", 1));
    for (int tick = 1; tick <= 3; ++tick) {
        QCOMPARE(f.ui.openport->Caption(), QStringLiteral("Connecting..."));
        f.main->Link.HandshakeTick();
        QVERIFY(f.sim.waitForLogged("PA?", tick + 1));
    }
    QTRY_COMPARE(f.ui.openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(!f.main->Link.HandshakeTimer()->isActive());
    QCOMPARE(f.main->Link.State().ConnectTicks, std::uint8_t(0));
    // The start-up queries follow; no further identification query.
    QVERIFY(f.sim.waitForLogged("ATU_INST?", 1));
    QCOMPARE(int(f.sim.loggedLines().count("PA?")), 4);
    QCOMPARE(f.count(QStringLiteral("- PA?")), 4);
    QVERIFY(f.boxes.isEmpty());
}

void TestEndToEnd::session() {
    QFETCH(bool, network);
    Route r;
    PanelFixture &f = r.f;
    QVERIFY2(r.start(network), qPrintable(f.sim.errorString()));
    QVERIFY(f.connect());
    // The start-up burst reaches the amplifier whole and in order, and its
    // answers reach the window.
    QVERIFY(f.sim.waitForLogged("ATU_INST?", 1));
    QList<QByteArray> burst = f.sim.loggedLines();
    burst = burst.mid(burst.indexOf("PA?") + 1, 13);
    QCOMPARE(burst, (QList<QByteArray>{"B?", "InPower?", "T?", "ALM?", "ALC_PWM?", "F?", "I?",
                                       "LB?", "CAL?", "BAR?", "TOT?", "Ver?", "ATU_INST?"}));
    QTRY_VERIFY(Action(f.main, "Manual1")->isChecked() &&
                f.main->Link.State().readings.calibration == 200);
    QTRY_COMPARE(f.main->Link.State().readings.firmware, QStringLiteral("3.30"));
    // A report in two writes a quarter second apart is one line, logged as
    // the whole report at once was.
    f.sim.say("split Ver: 4.56");
    QTRY_COMPARE(f.main->Link.State().readings.firmware, QStringLiteral("4.56"));
    QCOMPARE(f.count(QStringLiteral("+ Ver: 4.56")), f.count(QStringLiteral("+ Ver: 3.30")));
    // A transmission moves the meter and the poll goes on.
    f.sim.say("tx 850 20 2");
    QTRY_VERIFY(f.ui.output->Position() > 800);
    QVERIFY(f.main->Link.State().IsConnected());
    QVERIFY(f.boxes.isEmpty());
}

void TestEndToEnd::portLostOnUnplug() {
    // Replugging, again and again, is the soak tests' part.
    QFETCH(bool, network);
    Route r;
    PanelFixture &f = r.f;
    QVERIFY2(r.start(network), qPrintable(f.sim.errorString()));
    QVERIFY(f.connect());
    if (network)
        r.bridge.Stop(); // the bridge goes away with the connection
    else
        f.sim.say("unplug");
    QTRY_COMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes.at(0).text, QStringLiteral("Disconnected from COM Port"));
    QCOMPARE(f.boxes.at(0).title, QStringLiteral("COM Port "));
    QCOMPARE(f.ui.openport->Caption(), QStringLiteral("Open port"));
    QCOMPARE(f.ui.ComboBox1->currentIndex(), -1);
    QVERIFY(f.ui.ComboBox1->isEnabled());
    QVERIFY(!f.main->Link.PollTimer()->isActive());
}

void TestEndToEnd::realTimersConnectWithinASecond() {
    PanelFixture f;
    QVERIFY2(f.start({}, false), qPrintable(f.sim.errorString()));
    QElapsedTimer t;
    t.start();
    QVERIFY(f.connect(2000));
    QVERIFY(t.elapsed() < 1000);
    // Only the poll sends bare lines: a tick has run on its own.
    QVERIFY(f.sim.waitForLogged(QByteArray(), 8, 3000));
}

void TestEndToEnd::reconnectsOverSer2net() {
    // ser2net stopped and started again, 20 times, with the real timers:
    // each time the panel waits without a box and comes back by itself.
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    {
        Route r;
        r.settings = "AutoReconnect=1\r\n";
        PanelFixture &f = r.f;
        QVERIFY2(r.start(true, {}, false), qPrintable(f.sim.errorString()));
        // Each connection is made to look older than the time in which another
        // client takes a port: these quick cycles are losses, not a port taken.
        QElapsedTimer real;
        real.start();
        qint64 shift = 0;
        f.main->Link.SetClock([&real, &shift] { return real.elapsed() + shift; });
        QVERIFY(f.connect());
        const QString lost =
            QStringLiteral("****** Port lost: %1, waiting for it").arg(r.bridge.Name());
        // Counted as logged: the monitor empties itself as the polls fill it.
        int losses = 0;
        QObject::connect(&f.main->Link, &AmpLink::EntryLogged, f.main,
                         [&](const QString &entry) { losses += entry == lost; });
        constexpr int Cycles = 20;
        // The first loss comes mid-transmission, which ends while the port is
        // away: on return nothing of it looks current.
        f.sim.say("tx 1020 20 1");
        QTRY_COMPARE(f.ui.P_out->text(), QStringLiteral("1020 W"));
        for (int cycle = 1; cycle <= Cycles; ++cycle) {
            shift += AmpLink::TakenWithinMs;
            r.bridge.Stop();
            QTRY_COMPARE(losses, cycle);
            QVERIFY(!f.main->Link.State().IsConnected());
            if (cycle == 1)
                QTest::qWait(1500);
            QVERIFY(r.bridge.Restart());
            QTRY_VERIFY_WITH_TIMEOUT(f.main->Link.State().IsConnected(), 5000);
            QVERIFY(!ViewOf(f.main->Link.State()).transmitting.Now().value_or(false));
            QCOMPARE(f.ui.P_out->text(), QString());
            QVERIFY(f.main->Link.PollTimer()->isActive());
            QVERIFY2(f.boxes.isEmpty(), qPrintable(f.boxes.value(0).text));
        }
        QCOMPARE(losses, Cycles);
        // Polling again: the poll's bare lines reach the amplifier.
        const int bare = int(f.sim.loggedLines().count(QByteArray()));
        QVERIFY(f.sim.waitForLogged(QByteArray(), bare + 2, 3000));
        f.windows.reset();
    }
    QCOMPARE(CountEntries("/proc/self/fd"), fds);
    QTRY_VERIFY(CountEntries("/proc/self/task") <= threads);
}

// The amplifier stops mid-transmission (the simulator, or ser2net in front
// of it, stopped with SIGSTOP), with the real timers: the window says so
// within the bound, and everything returns by itself after SIGCONT.
void TestEndToEnd::silence() {
    QFETCH(bool, network);
    Route r;
    PanelFixture &f = r.f;
    QVERIFY2(r.start(network, {}, false), qPrintable(f.sim.errorString()));
    QVERIFY(f.connect());
    QStringList marked; // counted as logged: the monitor empties itself
    QObject::connect(&f.main->Link, &AmpLink::EntryLogged, f.main, [&](const QString &e) {
        if (e.startsWith(QLatin1String("******")))
            marked << e;
    });
    f.sim.say("tx 784 20 60");
    QTRY_COMPARE(f.ui.P_out->text(), QStringLiteral("784 W"));
    const Stopped stopped(network ? r.bridge.proc.processId() : f.sim.processId());
    QElapsedTimer quiet;
    quiet.start();
    QTRY_VERIFY_WITH_TIMEOUT(f.main->Link.State().NoAnswer, 15000);
    QVERIFY2(quiet.elapsed() <= 10000, qPrintable(QString::number(quiet.elapsed())));
    const QString port = f.main->SelectedPort(), title = f.main->windowTitle();
    QCOMPARE(title, QStringLiteral("Orvik 1200 Remote Control - no answer from ") + port);
    QCOMPARE(f.ui.openport->Caption(), QStringLiteral("No answer!"));
    // The last readings stay in sight, greyed (a report may have come
    // between the one awaited and the stop: within the simulator's 3 %).
    const QString last = f.ui.P_out->text();
    QVERIFY2(last.endsWith(QLatin1String(" W")) && std::abs(last.chopped(2).toInt() - 784) <= 24,
             qPrintable(last));
    for (QWidget *reading :
         std::initializer_list<QWidget *>{f.ui.P_out, f.ui.output, f.ui.tx_led, f.ui.Temp2})
        QVERIFY(!reading->isEnabled());
    stopped.Continue();
    QTRY_VERIFY_WITH_TIMEOUT(!f.main->Link.State().NoAnswer, 5000);
    QCOMPARE(f.main->windowTitle(), title.left(title.indexOf(QLatin1String(" - "))));
    QCOMPARE(f.ui.openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(f.ui.P_out->isEnabled() && f.ui.output->isEnabled());
    QCOMPARE(marked,
             QStringList({QStringLiteral("****** No answer from the amplifier on ") + port,
                          QStringLiteral("****** The amplifier on %1 answers again").arg(port)}));
    // Transmitting again as its output says, not from the "TX: ON" of before.
    QTRY_VERIFY(ViewOf(f.main->Link.State()).transmitting.Now().value_or(false));
    QVERIFY(!f.main->Link.State().readings.transmitting.value_or(false) && f.boxes.isEmpty());
}

// The simulator stops reading: the terminal's buffer fills with the polls.
// A tick never waits on the line, the queue behind it stays bounded (the
// oldest polls dropped, noted once), an operator's command still gets in,
// Close Port acts at once; a line that reads again gets the command.
void TestEndToEnd::stalledLine_data() {
    QTest::addColumn<bool>("resumes"); // else: Close Port while stalled
    QTest::newRow("Close Port") << false;
    QTest::newRow("reads again") << true;
}

void TestEndToEnd::stalledLine() {
    QFETCH(bool, resumes);
    PanelFixture f;
    QVERIFY2(f.start(), qPrintable(f.sim.errorString()));
    QVERIFY(f.connect());
    QTRY_COMPARE(f.main->Link.State().readings.firmware, QStringLiteral("3.30")); // all answered
    const Stopped stopped(f.sim.processId());
    TSerialPort *port = f.main->Link.Port();
    QElapsedTimer total, tick;
    total.start();
    qint64 longest = 0;
    for (int more = 300; more > 0 && total.elapsed() < 30000; more -= port->QueuedOutput() > 0) {
        tick.start();
        f.main->Link.PollTick();
        longest = std::max(longest, tick.elapsed());
    }
    QVERIFY2(longest < 600, qPrintable(QString::number(longest))); // a blocked write: 1.2 s
    QVERIFY(port->QueuedOutput() > 0 && port->QueuedOutput() <= TSerialPort::OutputLimit);
    QCOMPARE(
        f.count(
            QStringLiteral("****** %1 takes no data: polls waiting to go are dropped").arg(f.link)),
        1);
    f.main->Link.SelectBand(1);
    tick.start();
    if (resumes) {
        stopped.Continue();
        QVERIFY(f.sim.waitForLogged("B: 1", 1, 5000));
        QTRY_COMPARE(port->QueuedOutput(), 0);
    } else {
        QTest::mouseClick(f.ui.closeport, Qt::LeftButton);
        QVERIFY2(tick.elapsed() < 2000, qPrintable(QString::number(tick.elapsed())));
        QCOMPARE(f.ui.openport->Caption(), QStringLiteral("Open port"));
    }
    QCOMPARE(port->Connected(), resumes);
    QCOMPARE(f.boxes.size(), resumes ? 0 : 1);
}

// One program per port, root included, and the exclusive claim ends with
// each close (only root could reopen a terminal otherwise): a second
// program is told who holds the port; once the first has ended, the panel
// opens and closes it twice, past a stale lock file.
void TestEndToEnd::onePortOneProgram() {
    PanelFixture f;
    QVERIFY2(f.start(), qPrintable(f.sim.errorString()));
    QProcess first;
    first.start(ProgramBinary(), {QStringLiteral("--headless"), QStringLiteral("--port"), f.link});
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += first.readAllStandardOutput()).contains("amplifier connected"),
                             5000);
    f.main->OpenSelectedPort();
    QCOMPARE(f.boxes.value(0).text, QStringLiteral("Cannot connect to %1. In use by orvik-control "
                                                   "(process %2)")
                                        .arg(f.link)
                                        .arg(first.processId()));
    first.terminate();
    QVERIFY(first.waitForFinished(5000));
    // A lock file kept without flock() (the older way) counts while its
    // process lives with the device open, and is stale, taken over, once
    // that has ended.
    QProcess holder;
    holder.setStandardInputFile(f.link);
    holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(holder.waitForStarted());
    for (const QString &folder : PortLock::Folders()) { // the first that can be written
        QFile old(folder + QLatin1Char('/') + PortLock::FileName(f.link));
        if (old.open(QIODevice::WriteOnly) &&
            old.write(QByteArray::number(holder.processId()) + "\nsleep\n") > 0)
            break;
    }
    f.main->OpenSelectedPort();
    QCOMPARE(f.boxes.last().text,
             QStringLiteral("Cannot connect to %1. In use by sleep (process %2)")
                 .arg(f.link)
                 .arg(holder.processId()));
    holder.kill();
    QVERIFY(holder.waitForFinished(5000));
    for (int round = 1; round <= 2; ++round) {
        f.ui.ComboBox1->setCurrentIndex(f.ui.ComboBox1->findText(f.link));
        QVERIFY2(f.connect(), qPrintable(f.boxes.last().text));
        QTest::mouseClick(f.ui.closeport, Qt::LeftButton);
        QCOMPARE(f.boxes.last().text, QStringLiteral("Disconnected from COM Port"));
    }
}

// An evening recorded by the headless program: transmitting on two bands,
// an alarm, the port unplugged and back, a silent spell; read with sqlite3.
// Then kill -9 while transmitting and a start again on the same file.
void TestEndToEnd::historyEvening() {
    SimProcess sim;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("amplifier"));
    const QString file = dir.filePath(QStringLiteral("history.sqlite"));
    QVERIFY2(sim.start({QStringLiteral("--link"), link}), qPrintable(sim.errorString()));
    sim.say("set band 3");
    const QStringList args = {QStringLiteral("--headless"), QStringLiteral("--port"), link,
                              QStringLiteral("--history"), file};
    QProcess headless;
    headless.start(ProgramBinary(), args);
    QByteArray out;
    QVERIFY2(AwaitOutput(&headless, &out, "amplifier connected", 1, 20000), out.constData());
    QVERIFY(out.contains("history: recording into " + file.toLocal8Bit()));
    sim.say("tx 800 20 3\nalarm SWR\nwait 1\nalarm OFF\nset band 5\nsay B: 5\ntx 500 10 2\n"
            "wait 1\nunplug\nwait 2\nreplug");
    QVERIFY2(AwaitOutput(&headless, &out, "amplifier connected", 2, 20000), out.constData());
    // The log tells the link's events in the words every output uses.
    for (const char *told :
         {"alarm: High reverse power", "alarm ended: High reverse power",
          "transmission on 40M: ", "band 17M/15M (the amplifier)", "lost, waiting for it"})
        QVERIFY2(out.contains(told), out.constData());
    sim.say("silent on");
    QVERIFY2(AwaitOutput(&headless, &out, "no answer from the amplifier", 1, 20000),
             out.constData());
    sim.say("silent off\nwait 1\ntx 1000 30 20");
    QVERIFY2(AwaitOutput(&headless, &out, "answers again", 1, 20000), out.constData());
    QTest::qWait(3500);
    const qint64 killed = QDateTime::currentSecsSinceEpoch();
    ::kill(pid_t(headless.processId()), SIGKILL);
    QVERIFY(headless.waitForFinished(5000));

    QCOMPARE(
        Sqlite(file, QStringLiteral("SELECT group_concat(CASE kind WHEN 'transmit off' THEN kind "
                                    "ELSE kind || ifnull(':' || detail, '') END, ',') FROM events "
                                    "WHERE kind != 'command'")),
        QStringLiteral("recording start,opened,transmit on,transmit off,alarm:High reverse "
                       "power,alarm end:High reverse power,band:3,transmit on,transmit off,lost,"
                       "back,no answer,back,transmit on"));
    // The two finished transmissions as the simulator sent them: 3 s on
    // 40M and 2 s on 17M/15M (within a second), their peak and worst SWR
    // those of their rows.
    QCOMPARE(
        Sqlite(file,
               QStringLiteral(
                   "SELECT x.band, abs((x.end_ms - x.start_ms) / 1000.0 - CASE x.band WHEN 3 THEN "
                   "3 ELSE 2 END) <= 1,"
                   " x.peak_w = (SELECT max(max(output_max), ifnull(max(peak), 0)) FROM readings"
                   "  WHERE t BETWEEN x.start_ms / 1000 AND x.end_ms / 1000),"
                   " x.worst_swr = (SELECT max(swr_max) FROM readings"
                   "  WHERE t BETWEEN x.start_ms / 1000 AND x.end_ms / 1000)"
                   " FROM transmissions x ORDER BY x.start_ms")),
        QStringLiteral("3|1|1|1\n5|1|1|1"));
    // A row a second while transmitting, the power as sent.
    const QStringList bands =
        Sqlite(file, QStringLiteral("SELECT band, count(*), max(output_max), min(output_min) FROM "
                                    "readings WHERE flags & 1 AND"
                                    " output_max > 0 GROUP BY band ORDER BY band"))
            .split(QLatin1Char('\n'));
    QVERIFY2(bands.size() == 2, qPrintable(bands.join(QLatin1Char(' '))));
    // The simulator's power wanders a little about what it was told.
    for (const auto &[line, band, watts] :
         {std::tuple{bands[0], 3, 800.0}, std::tuple{bands[1], 5, 1000.0}}) {
        const QStringList f = line.split(QLatin1Char('|'));
        QVERIFY2(f[0].toInt() == band && f[1].toInt() >= 2 &&
                     std::abs(f[2].toDouble() - watts) < watts / 10,
                 qPrintable(line));
    }
    // Killed: at most the last second is missing.
    QVERIFY(killed - Sqlite(file, QStringLiteral("SELECT max(t) FROM readings")).toLongLong() <= 2);

    QProcess again;
    again.start(ProgramBinary(), args);
    out.clear();
    QVERIFY2(AwaitOutput(&again, &out, "amplifier connected", 1, 20000), out.constData());
    QVERIFY2(!out.contains("damaged") && out.contains("history: recording into"), out.constData());
    QTest::qWait(1500); // the transmission goes on: its power reports, with no "TX: ON"
    again.terminate();
    QVERIFY(again.waitForFinished(5000));
    QCOMPARE(Sqlite(file, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    const QString events = Sqlite(file, QStringLiteral("SELECT group_concat(kind) FROM events"));
    QVERIFY2(events.endsWith(QStringLiteral(
                 "transmit on,recording start,opened,transmit on,closed,recording end")),
             qPrintable(events));
}

// A history file the panel cannot record, as the headless program records
// it: one box, the panel goes on, and File, History (Ctrl+H) shows it.
void TestEndToEnd::historyInThePanel() {
    PanelFixture f;
    QVERIFY2(f.start(), qPrintable(f.sim.errorString()));
    const QString file = f.dir.filePath(QStringLiteral("history.sqlite"));
    QProcess headless;
    QByteArray out;
    headless.start(ProgramBinary(),
                   {QStringLiteral("--headless"), QStringLiteral("--port"),
                    QStringLiteral("/dev/null/none"), QStringLiteral("--history"), file});
    QVERIFY2(AwaitOutput(&headless, &out, "history: recording into", 1, 20000), out.constData());
    QVERIFY(!f.windows->StartHistory(file, 30).isEmpty());
    QCOMPARE(f.boxes.size(), 1);
    QVERIFY2(f.boxes[0].text.contains(
                 QStringLiteral("is recorded by another program; this one records nothing")) &&
                 f.boxes[0].title == QStringLiteral("History"),
             qPrintable(f.boxes[0].text));
    QVERIFY(f.connect());
    auto *item = f.main->findChild<QAction *>(QStringLiteral("History1"));
    QCOMPARE(item->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
    item->trigger();
    QVERIFY(f.windows->History()->Widget()->isVisible());
    QCOMPARE(f.windows->History()->File(), file);
    QCOMPARE(f.boxes.size(), 1);
    headless.terminate();
    headless.waitForFinished(5000);
}

// The panel program ended by a stop signal closes its port as File, Exit
// does: no lock file is left, the device keeps no exclusive mark (an
// ordinary user may open it; root may anyway, so the mark is read back);
// the history notes the end; the status is 0. The port is opened from the keyboard: Tab to Open
// Port, Return.
void TestEndToEnd::panelStopSignal_data() {
    QTest::addColumn<int>("stopSignal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestEndToEnd::panelStopSignal() {
    QFETCH(int, stopSignal);
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                       QStringLiteral("/platforms/libqvnc.so")))
        QSKIP("needs Qt's VNC platform (qt6-qpa-plugins)");
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("amplifier"));
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--link"), link}), qPrintable(sim.errorString()));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("orvik")));
    QFile ini(dir.filePath(QStringLiteral("orvik/Orvik_control.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly) &&
            ini.write("[Configuration]\r\nPort=" + link.toLocal8Bit() + "\r\n") > 0);
    ini.close();
    const int vnc = Ser2net::FreePort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("vnc:port=%1").arg(vnc));
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_STATE_HOME"})
        env.insert(QLatin1String(name), dir.path());
    QProcess panel;
    panel.setProcessEnvironment(env);
    panel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    panel.start(ProgramBinary(), QStringList());
    VncKeyboard keys;
    QVERIFY(keys.connect(quint16(vnc)));
    // Keys that come before the window are lost: pressed again until it opens.
    constexpr quint32 Tab = 0xff09, Return = 0xff0d;
    for (int tries = 0; !sim.waitForLogged("PA?", 1, tries ? 2000 : 0) && tries < 6; ++tries) {
        keys.press(Tab);
        keys.press(Return);
    }
    QVERIFY(sim.waitForLogged("ATU_INST?", 1, 5000)); // identified, the start-up burst sent
    // One under the link's name and one under the device's; both go.
    QStringList locks;
    for (const QString &folder : PortLock::Folders())
        for (const QString &name : PortLock::FileNames(link))
            locks << folder + QLatin1Char('/') + name;
    QSet<QString> held;
    for (const QString &lock : std::as_const(locks))
        if (QFile::exists(lock))
            held << QFileInfo(lock).canonicalFilePath();
    // The node, the name given and every other name of the device.
    QVERIFY2(held.size() >= 2, qPrintable(QStringList(held.values()).join(QLatin1Char(' '))));

    ::kill(pid_t(panel.processId()), stopSignal);
    QVERIFY(panel.waitForFinished(5000));
    for (const QString &lock : locks)
        QVERIFY2(!QFile::exists(lock), qPrintable(lock));
    const int fd = ::open(QFile::encodeName(sim.devicePath()).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY2(fd >= 0, std::strerror(errno));
    int exclusive = -1;
    const int got = ::ioctl(fd, TIOCGEXCL, &exclusive);
    ::close(fd);
    QVERIFY(got == 0);
    QCOMPARE(exclusive, 0);
    const QString events = Sqlite(dir.filePath(QStringLiteral("orvik/history.sqlite")),
                                  QStringLiteral("SELECT group_concat(kind) FROM events"));
    QVERIFY2(events.endsWith(QLatin1String("opened,closed,recording end")), qPrintable(events));
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), 0);
}

namespace {

// What an output says: the phase, and while connected the readings it
// shows, each as a word ("none": not known).
using Said = QMap<QString, QString>;

// One step of the evening: the simulator's commands, then what every
// output says once settled. While connected, the view as KEY=VALUE words:
// band, output, reflected and peak power, SWR, the tuner's SWR,
// temperature, firmware, PA type, PTT block, alarm and the last
// transmission's worst SWR. Another phase says nothing more: no reading
// of before may show.
struct EveningStep {
    const char *what, *sim, *phase;
    const char *view = "";
    // The amplifier reports the step's O:/R: pair ten times a second.
    bool reporting = false;
    // A KEY=VALUE no output may say while the step settles: a reading of
    // before that is not known on this connection.
    const char *never = "";
};

Said Expected(const EveningStep &s) {
    Said m{{QStringLiteral("phase"), QLatin1String(s.phase)}};
    for (const QString &word :
         QString::fromLatin1(s.view).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        m.insert(word.section(QLatin1Char('='), 0, 0), word.section(QLatin1Char('='), 1));
    return m;
}

QString Words(const Said &said) {
    QStringList words;
    for (auto it = said.cbegin(); it != said.cend(); ++it)
        words << it.key() + QLatin1Char('=') + it.value();
    return words.join(QLatin1Char(' '));
}

// The keys an output shows, compared; what it does not show is not asked.
QString Differences(const Said &expected, const Said &said) {
    QStringList differ;
    for (auto it = said.cbegin(); it != said.cend(); ++it)
        if (expected.value(it.key(), QStringLiteral("none")) != it.value())
            differ << it.key() + QLatin1Char('=') + it.value() + QStringLiteral(" (not ") +
                          expected.value(it.key(), QStringLiteral("none")) + QLatin1Char(')');
    return differ.join(QLatin1Char(' '));
}

QString Number(const QJsonValue &v, int decimals) {
    return v.isDouble() ? QString::number(v.toDouble(), 'f', decimals) : QStringLiteral("none");
}

QString Number(const QString &text, int decimals) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? QString::number(v, 'f', decimals) : QStringLiteral("none");
}

QString Ptt(const QJsonValue &v) {
    return v.isBool() ? QLatin1String(v.toBool() ? "blocked" : "free") : QStringLiteral("none");
}

QString Alarm(const QJsonValue &v) {
    if (!v.isArray())
        return QStringLiteral("unknown");
    const QString first = v.toArray().at(0).toString();
    return first.isEmpty()                                ? QStringLiteral("none")
           : first == QLatin1String("High reverse power") ? QStringLiteral("SWR")
                                                          : first;
}

// "40M": "3".
QString BandNumber(const QString &name) {
    for (int band = 1; band <= Facts::Bands; ++band)
        if (Facts::BandName(band) == name)
            return QString::number(band);
    return QStringLiteral("none");
}

QString Text(const QJsonValue &v) {
    return v.isString() && !v.toString().isEmpty() ? v.toString().remove(QLatin1Char(' '))
                                                   : QStringLiteral("none");
}

// The view as an output says it where it has a rule of its own.
Said AsSaidBy(const QString &output, Said view) {
    const bool receiving = view.value(QStringLiteral("out")) == QLatin1String("0");
    const bool transmitting = !receiving && view.contains(QStringLiteral("out"));
    if (output == QLatin1String("server") && receiving && !view.contains(QStringLiteral("swr")))
        view.insert(QStringLiteral("swr"), QStringLiteral("1.00")); // ampctld: 1 while receiving
    // The broker's last transmission is the last one ended.
    if (output == QLatin1String("broker") && transmitting)
        view.remove(QStringLiteral("worst"));
    if (output == QLatin1String("panel")) {
        // "TX: OFF" empties the readout; the PTT block's button shows its
        // resting look until the block is confirmed on this connection.
        if (receiving)
            view.remove(QStringLiteral("out"));
        if (view.value(QStringLiteral("ptt")) == QLatin1String("none"))
            view.insert(QStringLiteral("ptt"), QStringLiteral("free"));
    }
    // The history keeps reflected power and SWR only with output power.
    if (output == QLatin1String("history") && receiving) {
        view.remove(QStringLiteral("refl"));
        view.remove(QStringLiteral("swr"));
    }
    return view;
}

// The first line of the server's answer to one request.
QString ServerSays(QTcpSocket *s, const QByteArray &request) {
    QByteArray got;
    if (s->write(request + '\n') < 0 ||
        !QTest::qWaitFor([&] { return (got += s->readAll()).endsWith('\n'); }, 3000))
        return QStringLiteral("no answer line: ") + QString::fromLatin1(got);
    return QString::fromLatin1(got.left(got.indexOf('\n')));
}

// The station page's last status, from its live WebSocket.
struct PageWatcher {
    QWebSocket socket;
    QJsonObject last;
    QTimer ping; // a page that says nothing for a minute is cut
    bool open(quint16 port) {
        const QByteArray form = "user=op&password=op-password";
        // The page is served by this process: waited for on its event loop.
        QTcpSocket http;
        http.connectToHost(QHostAddress::LocalHost, port);
        http.write("POST /api/login HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                   "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                   QByteArray::number(form.size()) + "\r\nConnection: close\r\n\r\n" + form);
        QByteArray reply;
        if (!QTest::qWaitFor([&] { return (reply += http.readAll()).contains("\r\n\r\n{"); }, 5000))
            return false;
        const int at = reply.indexOf("Set-Cookie: ");
        if (at < 0)
            return false;
        const QByteArray cookie = reply.mid(at + 12, reply.indexOf(';', at) - at - 12);
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString &text) {
            const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
            if (o.value(QStringLiteral("type")) == QLatin1String("status"))
                last = o.value(QStringLiteral("status")).toObject();
        });
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
        request.setRawHeader("Cookie", cookie);
        request.setRawHeader("Origin", "http://127.0.0.1:" + QByteArray::number(port));
        socket.open(request);
        QObject::connect(&ping, &QTimer::timeout, [this] { socket.ping(); });
        ping.start(10000);
        return QTest::qWaitFor([this] { return !last.isEmpty(); }, 5000);
    }
};

} // namespace

// The panel with its server, MQTT publisher, station page and history on,
// and the headless log's lines of its events, through an evening of the
// simulated amplifier: transmitting, an alarm, the tuner's SWR, another
// band, a silent spell in alarm, the port unplugged with the PTT blocked,
// reports that stop, a ramp-down. At each step every output says what the
// view says, and none of them shows a reading once it is not known.
void TestEndToEnd::oneEveningEveryOutput() {
    Mosquitto broker;
    QVERIFY(broker.Start());
    Watcher watcher(broker.port);
    QVERIFY(watcher.Subscribed());
    Route r;
    r.settings = "AutoReconnect=1\r\n";
    PanelFixture &f = r.f;
    QVERIFY2(r.start(false, {QStringLiteral("--atu")}, false), qPrintable(f.sim.errorString()));
    WindowSet &w = *f.windows;
    remote::RemoteConfig server;
    server.listen = QStringLiteral("127.0.0.1:0");
    QCOMPARE(w.StartServer(server), QString());
    mqtt::Settings bus;
    bus.broker = broker.Url();
    bus.username = QStringLiteral("orvik");
    bus.passwordFile = f.dir.filePath(QStringLiteral("password"));
    bus.topic = QStringLiteral("orvik/evening");
    QFile password(bus.passwordFile);
    QVERIFY(password.open(QIODevice::WriteOnly) && password.write(Mosquitto::Password) > 0 &&
            password.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    password.close();
    QCOMPARE(w.StartPublisher(bus), QString());
    const QString file = f.dir.filePath(QStringLiteral("history.sqlite"));
    QCOMPARE(w.StartHistory(file, 30), QString());
    web::WebConfig page;
    page.listen = QStringLiteral("127.0.0.1:0");
    page.usersFile = f.dir.filePath(QStringLiteral("users"));
    QCOMPARE(web::SetUser(page.usersFile,
                          web::MakeUser(QStringLiteral("op"), web::Role::Operator, "op-password")),
             QString());
    QCOMPARE(w.station().StartWeb(page), QString());
    QStringList headless;
    QObject::connect(&w.Link(), &AmpLink::Event, [&headless](const LinkEvent &e) {
        if (const QString line = EventLine(e); !line.isEmpty())
            headless << line;
    });
    QVERIFY(f.connect());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, w.Server()->Port());
    QVERIFY(client.waitForConnected(3000));
    PageWatcher pageWatcher;
    QVERIFY(pageWatcher.open(w.station().Web()->Port()));

    // Each output in the same words.
    const auto fromServer = [&client] {
        const QString swr = ServerSays(&client, "l SWR");
        if (swr == QLatin1String("RPRT -5") || swr == QLatin1String("RPRT -6")) {
            QString said = swr == QLatin1String("RPRT -5") ? QStringLiteral("no answer")
                                                           : QStringLiteral("lost");
            const QString out = ServerSays(&client, "l PWRFORWARD");
            const QString on = ServerSays(&client, "\\get_powerstat");
            if (out != swr || on != QLatin1String("0"))
                said += QStringLiteral(" out=%1 powerstat=%2").arg(out, on);
            return Said{{QStringLiteral("phase"), said}};
        }
        const QString fault = ServerSays(&client, "l FAULT");
        const QString powerstat = ServerSays(&client, "\\get_powerstat");
        const QString f = ServerSays(&client, "f");
        return Said{
            {QStringLiteral("phase"), QStringLiteral("connected")},
            {QStringLiteral("band"), f.startsWith(QLatin1String("RPRT"))
                                         ? QStringLiteral("none")
                                         : QString::number(Facts::BandForFrequency(f.toDouble()))},
            {QStringLiteral("swr"), Number(swr, 2)},
            {QStringLiteral("out"), Number(ServerSays(&client, "l PWRFORWARD"), 0)},
            {QStringLiteral("refl"), Number(ServerSays(&client, "l PWRREFLECTED"), 0)},
            {QStringLiteral("peak"), Number(ServerSays(&client, "l PWRPEAK"), 0)},
            {QStringLiteral("ptt"), powerstat == QLatin1String("2")   ? QStringLiteral("blocked")
                                    : powerstat == QLatin1String("4") ? QStringLiteral("free")
                                    : powerstat == QLatin1String("8") ? QStringLiteral("none")
                                                                      : powerstat},
            {QStringLiteral("alarm"), fault == QLatin1String("None") ? QStringLiteral("none")
                                      : fault == QLatin1String("High reverse power")
                                          ? QStringLiteral("SWR")
                                          : fault}};
    };
    // The broker's state, and the page's: the same readings in two spellings.
    const auto fromState = [](const QJsonObject &o, bool mqtt) {
        const auto key = [mqtt](const char *underscored, const char *camel) {
            return QLatin1String(mqtt ? underscored : camel);
        };
        const QString phase = o.value(QStringLiteral("phase")).toString();
        if (phase != QLatin1String("connected")) {
            for (const char *k : {"band", "swr", "output_w", "outputW", "alarms", "pttBlocked",
                                  "ptt_blocked", "temperature_c", "temperatureC"})
                if (!o.value(QLatin1String(k)).isNull() && !o.value(QLatin1String(k)).isUndefined())
                    return Said{{QStringLiteral("phase"),
                                 phase + QStringLiteral(" with ") + QLatin1String(k)}};
            return Said{{QStringLiteral("phase"), phase}};
        }
        Said m{
            {QStringLiteral("phase"), phase},
            {QStringLiteral("band"), Number(o.value(QStringLiteral("band")), 0)},
            {QStringLiteral("out"), Number(o.value(key("output_w", "outputW")), 0)},
            {QStringLiteral("refl"), Number(o.value(key("reflected_w", "reflectedW")), 0)},
            {QStringLiteral("peak"), Number(o.value(key("peak_w", "peakW")), 0)},
            {QStringLiteral("swr"), Number(o.value(QStringLiteral("swr")), 2)},
            {QStringLiteral("tswr"),
             Number(o.value(QStringLiteral("tuner")).toObject().value(QStringLiteral("swr")), 2)},
            {QStringLiteral("temp"), Number(o.value(key("temperature_c", "temperatureC")), 0)},
            {QStringLiteral("fw"), Text(o.value(QStringLiteral("firmware")))},
            {QStringLiteral("pa"), Text(o.value(key("pa_type", "paType")))},
            {QStringLiteral("ptt"), Ptt(o.value(key("ptt_blocked", "pttBlocked")))},
            {QStringLiteral("alarm"), Alarm(o.value(QStringLiteral("alarms")))}};
        if (mqtt)
            m.insert(QStringLiteral("worst"), Number(o.value(QStringLiteral("last_transmission"))
                                                         .toObject()
                                                         .value(QStringLiteral("worst_swr")),
                                                     2));
        return m;
    };
    int stepStart = 0; // the broker's first state of the step
    const auto brokerStates = [&watcher, &fromState](int from) {
        QList<Said> all;
        const QList<Watcher::Message> states = watcher.Messages("orvik/evening/state");
        for (int i = from; i < states.size(); ++i)
            all << fromState(QJsonDocument::fromJson(states.at(i).payload).object(), true);
        return all;
    };
    const auto fromBroker = [&brokerStates] {
        const QList<Said> all = brokerStates(0);
        return all.isEmpty() ? Said{{QStringLiteral("phase"), QStringLiteral("nothing")}}
                             : all.last();
    };
    const auto fromPage = [&pageWatcher, &fromState] { return fromState(pageWatcher.last, false); };
    const auto fromPanel = [&f, &w] {
        const QString title = f.main->windowTitle();
        const QString phase =
            title.contains(QLatin1String(" - waiting for "))      ? QStringLiteral("lost")
            : title.contains(QLatin1String(" - no answer from ")) ? QStringLiteral("no answer")
                                                                  : QStringLiteral("connected");
        if (phase != QLatin1String("connected"))
            return Said{
                {QStringLiteral("phase"), f.ui.P_out->isEnabled() && !f.ui.P_out->text().isEmpty()
                                              ? phase + QStringLiteral(" out=") + f.ui.P_out->text()
                                              : phase}};
        QStringList lit;
        for (int i = 0; i < 7; ++i)
            if (f.ui.Band[std::size_t(i)]->BrushColor() == clLime)
                lit << QString::number(i + 1);
        const TColor ptt = f.ui.Panel1->Color();
        return Said{
            {QStringLiteral("phase"), phase},
            {QStringLiteral("band"),
             lit.isEmpty() ? QStringLiteral("none") : lit.join(QLatin1Char(','))},
            {QStringLiteral("out"), Number(f.ui.P_out->text().section(QLatin1Char(' '), 0, 0), 0)},
            {QStringLiteral("tswr"), Number(f.atu.Label3->text(), 2)},
            {QStringLiteral("temp"), Number(f.ui.Temp2->text().remove(QChar(0xb0)), 0)},
            {QStringLiteral("ptt"), ptt == clAlertPink    ? QStringLiteral("blocked")
                                    : ptt == clLightGreen ? QStringLiteral("free")
                                                          : QStringLiteral("none")},
            {QStringLiteral("alarm"), w.Alarm(AlarmKind::Swr)->isVisible()
                                          ? QStringLiteral("SWR")
                                          : QStringLiteral("none")}};
    };
    // The history: its last connection event; while live, its last row and
    // its last transmission, else whether a row with power came after that
    // event.
    const auto fromHistory = [&file] {
        const QString event =
            Sqlite(file, QStringLiteral(
                             "SELECT kind || '|' || t_ms FROM events WHERE kind IN ('opened', "
                             "'back', 'lost', 'no answer', 'closed') ORDER BY id DESC LIMIT 1"));
        const QString kind = event.section(QLatin1Char('|'), 0, 0);
        if (kind != QLatin1String("opened") && kind != QLatin1String("back")) {
            const QString later = Sqlite(
                file, QStringLiteral("SELECT count(*) FROM readings WHERE output > 0 AND t > %1")
                          .arg(event.section(QLatin1Char('|'), 1).toLongLong() / 1000));
            return Said{{QStringLiteral("phase"), later == QLatin1String("0")
                                                      ? kind
                                                      : kind + QStringLiteral(" rows=") + later}};
        }
        const QString alarm = Sqlite(
            file, QStringLiteral("SELECT kind FROM events WHERE kind IN ('alarm', 'alarm end') "
                                 "ORDER BY id DESC LIMIT 1"));
        const QStringList row =
            Sqlite(file, QStringLiteral("SELECT ifnull(band, 'none'), ifnull(output, 'none'), "
                                        "ifnull(reflected, 'none'), ifnull(swr, 'none'), "
                                        "ifnull(temperature, 'none'), ifnull(tuner_swr, 'none') "
                                        "FROM readings ORDER BY t DESC LIMIT 1"))
                .split(QLatin1Char('|'));
        const QString worst =
            Sqlite(file, QStringLiteral("SELECT ifnull(worst_swr, 'none') FROM "
                                        "transmissions ORDER BY id DESC LIMIT 1"));
        return Said{
            {QStringLiteral("phase"), QStringLiteral("connected")},
            {QStringLiteral("band"), row.value(0)},
            {QStringLiteral("out"), Number(row.value(1), 0)},
            {QStringLiteral("refl"), Number(row.value(2), 0)},
            {QStringLiteral("swr"), Number(row.value(3), 2)},
            {QStringLiteral("temp"), Number(row.value(4), 0)},
            {QStringLiteral("tswr"), Number(row.value(5), 2)},
            {QStringLiteral("alarm"),
             QLatin1String(alarm == QLatin1String("alarm") ? "SWR" : "none")},
            {QStringLiteral("worst"), worst.isEmpty() ? QStringLiteral("none") : Number(worst, 2)}};
    };
    // The headless log: its last connection line, band line, PTT line,
    // alarm line and transmission line.
    const auto fromHeadless = [&headless] {
        // The last line that matches; with since, only after the last line
        // that matches since.
        const auto last = [&headless](const QRegularExpression &re,
                                      const QRegularExpression &since = {}) {
            for (auto it = headless.crbegin(); it != headless.crend(); ++it) {
                if (const QRegularExpressionMatch m = re.match(*it); m.hasMatch())
                    return m.captured(1);
                if (!since.pattern().isEmpty() && since.match(*it).hasMatch())
                    break;
            }
            return QStringLiteral("none");
        };
        const QString connection =
            last(QRegularExpression(QStringLiteral("^(amplifier connected|port \\S+ lost|no answer "
                                                   "from|amplifier on \\S+ answers again)")));
        const QString phase = connection.startsWith(QLatin1String("port")) ? QStringLiteral("lost")
                              : connection.startsWith(QLatin1String("no answer"))
                                  ? QStringLiteral("no answer")
                                  : QStringLiteral("connected");
        if (phase != QLatin1String("connected"))
            return Said{{QStringLiteral("phase"), phase}};
        // Band, PTT block and alarms are told as they change on this connection.
        const QRegularExpression connected(QStringLiteral("^amplifier connected"));
        const QString alarm =
            last(QRegularExpression(QStringLiteral("^(alarm: |alarm ended: )")), connected);
        Said said{{QStringLiteral("phase"), phase},
                  {QStringLiteral("alarm"), alarm == QLatin1String("alarm: ")
                                                ? QStringLiteral("SWR")
                                                : QStringLiteral("none")},
                  {QStringLiteral("worst"),
                   last(QRegularExpression(QStringLiteral("^transmission.*worst SWR (\\S+)$")))}};
        const QString band =
            BandNumber(last(QRegularExpression(QStringLiteral("^band (\\S+) ")), connected));
        if (band != QLatin1String("none"))
            said.insert(QStringLiteral("band"), band);
        said.insert(QStringLiteral("ptt"),
                    last(QRegularExpression(QStringLiteral("^PTT (\\S+) ")), connected));
        return said;
    };

    const EveningStep evening[] = {
        {"transmitting on 40M", "set band 3\nsay B: 3\nsay TX: ON\nsay O: 800\nsay R: 20",
         "connected",
         "band=3 out=800 refl=20 peak=800 swr=1.38 temp=35 fw=3.30 pa=1.2kW ptt=none alarm=none",
         true},
        {"SWR alarm", "alarm SWR", "connected",
         "band=3 out=800 refl=20 peak=800 swr=1.38 temp=35 fw=3.30 pa=1.2kW ptt=none alarm=SWR",
         true},
        {"alarm over", "alarm OFF", "connected",
         "band=3 out=800 refl=20 peak=800 swr=1.38 temp=35 fw=3.30 pa=1.2kW ptt=none alarm=none",
         true},
        // The tuner in line: its SWR is the SWR, of the transmission too.
        {"the tuner's SWR", "set atustate 1\nsay ATU_STATE: 1\nsay SWR: 15", "connected",
         "band=3 out=800 refl=20 peak=800 swr=1.50 tswr=1.50 temp=35 fw=3.30 pa=1.2kW ptt=none "
         "alarm=none",
         true},
        // The tuner's last reading stays until the next transmission.
        {"received", "say TX: OFF", "connected",
         "band=3 out=0 refl=0 peak=800 swr=1.50 tswr=1.50 temp=35 fw=3.30 pa=1.2kW ptt=none "
         "alarm=none worst=1.50"},
        // Another band: the tuner's SWR of 40M is not the SWR here.
        {"transmitting on 20M", "set band 5\nsay B: 5\nsay TX: ON\nsay O: 500\nsay R: 10",
         "connected",
         "band=5 out=500 refl=10 peak=500 swr=1.33 temp=35 fw=3.30 pa=1.2kW ptt=none alarm=none "
         "worst=1.50",
         true},
        // An alarm holds through a silence: answering again with a
        // temperature only, it is still raised; it ends on its own report.
        {"silent in alarm", "alarm SWR\nsilent on", "no answer"},
        {"answers with a temperature", "silent off\nset temp 41\nsay T: 41", "connected",
         "band=5 out=0 refl=0 peak=500 temp=41 fw=3.30 pa=1.2kW ptt=none alarm=SWR worst=1.33"},
        {"answers again", "alarm OFF\nsay TX: OFF", "connected",
         "band=5 out=0 refl=0 peak=500 temp=41 fw=3.30 pa=1.2kW ptt=none alarm=none worst=1.33"},
        // A ramp-down at SWR 1.5: each reflected power goes with the output
        // of its own report, so the worst SWR stays 1.5.
        {"transmitting at SWR 1.5", "say TX: ON\nsay O: 800\nsay R: 32", "connected",
         "band=5 out=800 refl=32 peak=800 swr=1.50 temp=41 fw=3.30 pa=1.2kW ptt=none alarm=none "
         "worst=1.33",
         true},
        {"ramping down", "say O: 412\nsay R: 16", "connected",
         "band=5 out=412 refl=16 peak=800 swr=1.49 temp=41 fw=3.30 pa=1.2kW ptt=none alarm=none "
         "worst=1.33",
         true},
        {"ramped down", "say O: 100\nsay R: 4", "connected",
         "band=5 out=100 refl=4 peak=800 swr=1.50 temp=41 fw=3.30 pa=1.2kW ptt=none alarm=none "
         "worst=1.33",
         true},
        {"received after the ramp-down", "say TX: OFF", "connected",
         "band=5 out=0 refl=0 peak=800 temp=41 fw=3.30 pa=1.2kW ptt=none alarm=none worst=1.50"},
        // A transmission whose reports stop while the amplifier still
        // answers: its power is forgotten, then it is known to receive.
        {"transmitting at 600 W", "say TX: ON\nsay O: 600\nsay R: 6", "connected",
         "band=5 out=600 refl=6 peak=600 swr=1.22 temp=41 fw=3.30 pa=1.2kW ptt=none alarm=none "
         "worst=1.50",
         true},
        {"its reports stop", "", "connected",
         "band=5 out=0 refl=0 peak=600 temp=41 fw=3.30 pa=1.2kW ptt=none alarm=none worst=1.22"},
        // Lost and back: the PTT block confirmed before the loss is not
        // known on the new connection until the amplifier reports it.
        {"PTT blocked", "set blocked 1\nsay BL:ON", "connected",
         "band=5 out=0 refl=0 peak=600 temp=41 fw=3.30 pa=1.2kW ptt=blocked alarm=none "
         "worst=1.22"},
        {"unplugged", "unplug", "lost"},
        {"plugged back, the block freed meanwhile", "set blocked 0\nreplug", "connected",
         "band=5 out=0 refl=0 peak=600 temp=41 fw=3.30 pa=1.2kW ptt=none alarm=none worst=1.22",
         false, "ptt=blocked"},
    };
    // While it transmits the amplifier reports its power ten times a second;
    // without the reports its power would be forgotten as stopped.
    QByteArray reports;
    QTimer reporting;
    reporting.setInterval(100);
    QObject::connect(&reporting, &QTimer::timeout, [&] { f.sim.say(reports); });
    const char *names[] = {"server", "broker", "page", "panel", "history", "headless log"};
    for (const EveningStep &s : evening) {
        QList<QByteArray> power;
        for (const QByteArray &line : QByteArray(s.sim).split('\n'))
            if (line.startsWith("say O: ") || line.startsWith("say R: "))
                power << line;
        if (!power.isEmpty())
            reports = power.join('\n');
        if (!s.reporting)
            reporting.stop();
        stepStart = int(watcher.Messages("orvik/evening/state").size());
        if (*s.sim)
            f.sim.say(s.sim);
        if (s.reporting)
            reporting.start();

        const std::function<Said()> outputs[] = {fromServer, fromBroker,  fromPage,
                                                 fromPanel,  fromHistory, fromHeadless};
        const QString never = QLatin1String(s.never);
        QStringList differ;
        for (std::size_t i = 0; i < std::size(outputs); ++i) {
            const Said expected = AsSaidBy(QLatin1String(names[i]), Expected(s));
            Said now;
            QString off;
            if (!QTest::qWaitFor(
                    [&] {
                        now = outputs[i]();
                        if (!never.isEmpty() && now.value(never.section(QLatin1Char('='), 0, 0)) ==
                                                    never.section(QLatin1Char('='), 1))
                            differ
                                << QStringLiteral("%1 said %2").arg(QLatin1String(names[i]), never);
                        return (off = Differences(expected, now)).isEmpty();
                    },
                    15000))
                differ << QStringLiteral("%1 says %2 [%3]")
                              .arg(QLatin1String(names[i]), off, Words(now));
        }
        // Every state the broker got in the step, not only the last.
        if (!never.isEmpty())
            for (const Said &state : brokerStates(stepStart))
                if (state.value(never.section(QLatin1Char('='), 0, 0)) ==
                    never.section(QLatin1Char('='), 1))
                    differ << QStringLiteral("a state of the broker said ") + never;
        differ.removeDuplicates();
        QVERIFY2(differ.isEmpty(), qPrintable(QLatin1String(s.what) + QStringLiteral(": ") +
                                              differ.join(QStringLiteral("; "))));
    }
    QVERIFY2(f.boxes.isEmpty(), qPrintable(f.boxes.value(0).text));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
