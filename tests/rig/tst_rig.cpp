// SPDX-License-Identifier: GPL-3.0-or-later
// Following the radio: the band plan, the follower's decisions in explicit
// time, and the follower end to end between Hamlib's own rigctld (its dummy
// radio, driven with rigctl) and the simulated amplifier, counting the band
// commands the simulator receives; following also switched from MQTT
// (a real mosquitto) through the station, which remembers it.
#include "config/Settings.h"
#include "link/AmpLink.h"
#include "link/BandPlan.h"
#include "link/Facts.h"
#include "rig/FollowRules.h"
#include "rig/Follower.h"
#include "station/Station.h"
#include "tests/mqtt/Mosquitto.h"
#include "tests/sim/SimProcess.h"

#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class TestRig : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bandPlan_data();
    void bandPlan();
    void address_data();
    void address();
    void decide_data();
    void decide();
    void follows_data();
    void follows();
};

void TestRig::bandPlan_data() {
    QTest::addColumn<qint64>("hz");
    QTest::addColumn<int>("band");
    // Each segment's edges and just beyond them.
    for (int i = 0; i < BandPlan::SegmentCount; ++i) {
        const BandPlan::Segment &s = BandPlan::Segments[i];
        QTest::addRow("%s low", s.name) << s.lowHz << s.band;
        QTest::addRow("%s high", s.name) << s.highHz << s.band;
        QTest::addRow("%s below", s.name) << s.lowHz - 1 << 0;
        QTest::addRow("%s above", s.name) << s.highHz + 1 << 0;
    }
    QTest::newRow("60 m") << qint64(5357000) << 0;
    QTest::newRow("zero") << qint64(0) << 0;
    QTest::newRow("2 m") << qint64(145000000) << 0;
    QTest::newRow("FT8 on 20 m") << qint64(14074000) << 4;
    QTest::newRow("region 2 top of 40 m") << qint64(7299000) << 3;
}

void TestRig::bandPlan() {
    QFETCH(qint64, hz);
    QFETCH(int, band);
    QCOMPARE(BandPlan::BandOf(hz), band);
    // The link's older rule for the server's answers says the same.
    QCOMPARE(Facts::BandForFrequency(double(hz)), band);
    if (band)
        QCOMPARE(BandPlan::LowerEdge(band), Facts::BandLowerEdge(band));
}

void TestRig::address_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed"); // empty: refused
    QTest::newRow("host and port") << "rigctld://127.0.0.1:4533"
                                   << "rigctld://127.0.0.1:4533";
    QTest::newRow("default port") << "rigctld://shack"
                                  << "rigctld://shack:4532";
    QTest::newRow("IPv6") << "rigctld://[::1]:4532"
                          << "rigctld://[::1]:4532";
    QTest::newRow("no scheme") << "127.0.0.1:4532"
                               << "";
    QTest::newRow("flrig") << "flrig://127.0.0.1:12345"
                           << "";
    QTest::newRow("no host") << "rigctld://:4532"
                             << "";
    QTest::newRow("a path") << "rigctld://host:4532/x"
                            << "";
    QTest::newRow("port 0") << "rigctld://host:0"
                            << "";
}

void TestRig::address() {
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    rig::Address a;
    const QString error = rig::ParseAddress(text, &a);
    QCOMPARE(error.isEmpty(), !parsed.isEmpty());
    if (error.isEmpty())
        QCOMPARE(a.Text(), parsed);
}

// Steps "MS:MHZ[/TXMHZ][FLAGS][=SENT]": at MS the radio is on MHZ (split
// to TXMHZ); flags t the amplifier transmits, p the radio's PTT, i an
// interface other than Manual, x the amplifier not connected, cN the
// operator chose band N just before; =SENT the band sent then (0 nothing;
// no = : not checked). "ampN" first: the amplifier is on band N (else 1).
void TestRig::decide_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("reason"); // in the last step's reason
    QTest::newRow("followed after the settle time") << "0:14.2=0 499:14.2=0 500:14.2=4 900:14.2=0"
                                                    << "";
    QTest::newRow("knob across an edge and back")
        << "0:14.2 500:14.2=4 600:18.1=0 1000:14.2=0 1700:14.2=0"
        << "";
    QTest::newRow("knob across an edge and held")
        << "0:14.2 500:14.2=4 600:18.1=0 1099:18.1=0 1100:18.1=5"
        << "";
    QTest::newRow("split: the transmit band wins") << "0:14.2/7.1 500:14.2/7.1=3"
                                                   << "";
    QTest::newRow("same band sends nothing") << "amp4 0:14.2 500:14.2=0 900:10.12=0"
                                             << "";
    QTest::newRow("outside every band") << "0:5.357 900:5.357=0"
                                        << "outside every band";
    QTest::newRow("outside and back into the band followed")
        << "0:14.2 500:14.2=4 600:14.4=0 700:14.2=0 1500:14.2=0"
        << "";
    QTest::newRow("amplifier transmits: the newest band goes once")
        << "0:14.2 500:14.2=4 600:7.1t=0 1200:7.1t=0 1300:21.2t=0 1900:21.2t=0 2000:21.2=5 "
           "2100:21.2=0"
        << "";
    QTest::newRow("radio PTT: waits") << "0:14.2 500:14.2=4 600:7.1p 1200:7.1p=0"
                                      << "the radio is transmitting";
    QTest::newRow("radio PTT then receive") << "0:7.1p 600:7.1p=0 700:7.1=3 800:7.1=0"
                                            << "";
    QTest::newRow("interface not Manual") << "0:14.2i 500:14.2i=0 800:7.1i 1400:7.1i=0"
                                          << "not Manual";
    QTest::newRow("back to Manual: the radio's band") << "0:14.2i 500:14.2i=0 600:14.2=4"
                                                      << "";
    QTest::newRow("amplifier not connected waits") << "0:14.2x 600:14.2x=0 700:14.2=4"
                                                   << "";
    QTest::newRow("operator's band stays until the radio changes")
        << "0:14.2 500:14.2=4 600:14.2c2=0 1500:14.2=0 1600:21.2 2100:21.2=5"
        << "";
}

void TestRig::decide() {
    QFETCH(QString, steps);
    QFETCH(QString, reason);
    rig::Amp amp;
    amp.connected = true;
    amp.band = 1;
    rig::Memory memory;
    rig::Decision d;
    const QRegularExpression step(
        QStringLiteral("^(\\d+):([\\d.]+)(?:/([\\d.]+))?([tpix]|c\\d)*(?:=(\\d))?$"));
    for (const QString &s : steps.split(QLatin1Char(' '))) {
        if (s.startsWith(QLatin1String("amp"))) {
            amp.band = s.mid(3).toInt();
            continue;
        }
        const QRegularExpressionMatch m = step.match(s);
        QVERIFY2(m.hasMatch(), qPrintable(s));
        rig::Radio radio;
        radio.connected = true;
        radio.frequencyHz = qint64(m.captured(2).toDouble() * 1e6 + 0.5);
        radio.split = m.hasCaptured(3);
        if (radio.split)
            radio.txHz = qint64(m.captured(3).toDouble() * 1e6 + 0.5);
        radio.ptt = s.contains(QLatin1Char('p'));
        amp.transmits = s.contains(QLatin1Char('t'));
        amp.manual = !s.contains(QLatin1Char('i'));
        amp.connected = !s.contains(QLatin1Char('x'));
        if (const int c = s.indexOf(QLatin1Char('c')); c >= 0)
            amp.band = s.mid(c + 1, 1).toInt();
        d = rig::Decide(m.captured(1).toLongLong(), radio, amp, memory);
        memory = d.memory;
        if (m.hasCaptured(5))
            QVERIFY2(d.send == m.captured(5).toInt(),
                     qPrintable(QStringLiteral("%1: sent %2").arg(s).arg(d.send)));
        if (d.send)
            amp.band = d.send; // the amplifier confirms it
    }
    QVERIFY2(reason.isEmpty() ? d.reason.isEmpty() : d.reason.contains(reason),
             qPrintable(d.reason));
}

// ---- End to end --------------------------------------------------------------------------

namespace {

quint16 FreePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// Hamlib's rigctld with its dummy radio (-m 1) on 127.0.0.1; its PTT type
// RIG so that the dummy keeps and tells its PTT. rigctl (-m 2) drives it
// from stdin, as an operator at another program would.
struct Rigctld {
    QProcess daemon, control;
    quint16 port = FreePort();
    ~Rigctld() { Stop(); }
    bool Start() {
        daemon.start(QStringLiteral("rigctld"),
                     {QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-P"),
                      QStringLiteral("RIG"), QStringLiteral("-T"), QStringLiteral("127.0.0.1"),
                      QStringLiteral("-t"), QString::number(port)});
        if (!daemon.waitForStarted(5000))
            return false;
        const bool listens = QTest::qWaitFor(
            [this] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port);
                return probe.waitForConnected(200);
            },
            5000);
        if (!listens)
            return false;
        control.start(QStringLiteral("rigctl"),
                      {QStringLiteral("-m"), QStringLiteral("2"), QStringLiteral("-r"),
                       QStringLiteral("127.0.0.1:%1").arg(port)});
        return control.waitForStarted(5000);
    }
    void Say(const QByteArray &line) {
        control.write(line + '\n');
        control.waitForBytesWritten(1000);
    }
    void Stop() {
        for (QProcess *p : {&control, &daemon}) {
            p->terminate();
            if (p->state() != QProcess::NotRunning && !p->waitForFinished(3000)) {
                p->kill();
                p->waitForFinished(1000);
            }
        }
    }
    QString Address() const { return QStringLiteral("rigctld://127.0.0.1:%1").arg(port); }
};

} // namespace

// Steps separated by ";": "r LINE" rigctl's command; "s LINE" the
// simulator's scenario; "w MS" waits; "B N" the band command N reaches the
// amplifier once more; "n MS" no band command within MS; "c N" the
// operator clicks band N (its command awaited); "i N" the operator sets
// interface N; "f 0|1" following off or on; "m on|off" the same by MQTT's
// set/follow (answered ok, the state's rig.following and the settings
// file's Following= as asked); "k" rigctld stops, "K" it starts again;
// "L TEXT" the follower has said TEXT, "L1 TEXT" said it exactly once.
void TestRig::follows_data() {
    QTest::addColumn<QString>("steps");
    QTest::newRow("a change of band followed") << "r F 14200000; B 4; r F 7100000; B 3; n 800";
    QTest::newRow("split: the transmit band wins")
        << "r F 14200000; B 4; r S 1 VFOB; r I 21200000; B 5; n 800";
    QTest::newRow("the same band sends nothing")
        << "r F 14200000; B 4; r F 14250000; n 1000; r F 10120000; n 1000";
    QTest::newRow("outside every band sends nothing")
        << "r F 14200000; B 4; r F 15000000; n 1000; r F 15100000; n 800; "
           "L1 15.000000 MHz is outside every band";
    QTest::newRow("the amplifier's transmission waits")
        << "r F 14200000; B 4; s tx 500 10 4; w 400; r F 7100000; w 700; r F 21200000; n 1500; "
           "B 5; n 800; L the amplifier is transmitting";
    QTest::newRow("the radio's PTT waits")
        << "r F 14200000; B 4; r T 1; r F 7100000; w 700; r F 21200000; n 1000; r T 0; B 5; "
           "n 800; L the radio is transmitting";
    QTest::newRow("a knob across a band edge and back")
        << "r F 14200000; B 4; r F 18100000; w 300; r F 14200000; n 1500";
    QTest::newRow("another interface than Manual")
        << "i 1; w 500; r F 14200000; n 1200; r F 7100000; n 1000; L1 is not Manual";
    QTest::newRow("rigctld stopped and started again")
        << "r F 14200000; B 4; k; w 1500; K; L1 no connection; w 4500; r F 7100000; B 3; "
           "L1 no connection";
    QTest::newRow("an operator's band click while following")
        << "r F 14200000; B 4; c 2; n 1200; r F 21200000; B 5; n 800";
    QTest::newRow("following switched off and on")
        << "r F 14200000; B 4; f 0; r F 7100000; n 1200; f 1; B 3; n 800";
    QTest::newRow("following switched off and on by MQTT")
        << "r F 14200000; B 4; m off; r F 7100000; n 1200; m on; B 3; n 800";
}

void TestRig::follows() {
    QFETCH(QString, steps);
    if (QStandardPaths::findExecutable(QStringLiteral("rigctld")).isEmpty())
        QSKIP("rigctld is not installed (libhamlib-utils)");
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Station station;
    AmpLink &link = station.Link();
    QVERIFY(link.Open(sim.devicePath()).isEmpty());
    QVERIFY(
        QTest::qWaitFor([&] { return link.State().IsConnected() && link.State().Band(); }, 8000));
    Rigctld radio;
    QVERIFY(radio.Start());
    // The settings file a switch by MQTT is remembered in, as --config's.
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("station.ini"));
    QVERIFY(Settings::SaveIn(ini, Settings::RigFollow, radio.Address()).isEmpty());
    station.RememberIn(Settings::Read(ini), ini);
    Mosquitto broker;
    if (steps.contains(QLatin1String("m "))) {
        QVERIFY(broker.Start());
        mqtt::Settings m;
        m.broker = broker.Url();
        m.username = QStringLiteral("orvik");
        m.passwordFile = dir.filePath(QStringLiteral("pw"));
        QFile pw(m.passwordFile);
        QVERIFY(pw.open(QIODevice::WriteOnly) && pw.write(Mosquitto::Password) > 0 &&
                pw.setPermissions(QFile::ReadOwner));
        pw.close();
        m.topic = QStringLiteral("orvik/rig");
        m.control = true;
        QCOMPARE(station.StartPublisher(m), QString());
        // Its subscription goes before "online" on the same connection, so
        // the broker has it once "online" is seen.
        QVERIFY(Watcher(broker.port).Saw("orvik/rig/availability", "online"));
    }
    QVERIFY(station.StartRig(radio.Address(), true).isEmpty());
    rig::Follower &follower = *station.Rig();
    QStringList said;
    connect(&follower, &rig::Follower::Logged, [&said](const QString &l) { said << l; });

    QMap<int, qsizetype> expected; // band commands by band
    auto sent = [&sim](int band) { return sim.loggedLines().count(Protocol::SetBand(band)); };
    auto allAsExpected = [&] {
        for (int b = 1; b <= Facts::Bands; ++b)
            if (sent(b) != expected.value(b))
                return false;
        return true;
    };
    for (QString s : steps.split(QLatin1Char(';'))) {
        s = s.trimmed();
        const QString verb = s.section(QLatin1Char(' '), 0, 0);
        const QString arg = s.section(QLatin1Char(' '), 1);
        const QString where =
            QStringLiteral("%1 (said: %2)").arg(s, said.join(QLatin1String(" | ")));
        if (verb == QLatin1String("r")) {
            radio.Say(arg.toLatin1());
        } else if (verb == QLatin1String("s")) {
            sim.say(arg.toLatin1());
        } else if (verb == QLatin1String("w")) {
            QTest::qWait(arg.toInt());
        } else if (verb == QLatin1String("B") || verb == QLatin1String("c")) {
            const int band = arg.toInt();
            ++expected[band];
            if (verb == QLatin1String("c"))
                link.SelectBand(band);
            QVERIFY2(QTest::qWaitFor([&] { return sent(band) >= expected[band]; }, 5000),
                     qPrintable(where));
            QVERIFY2(allAsExpected(), qPrintable(where));
        } else if (verb == QLatin1String("n")) {
            QTest::qWait(arg.toInt());
            QVERIFY2(allAsExpected(), qPrintable(where));
        } else if (verb == QLatin1String("i")) {
            link.SelectInterface(arg.toInt());
            QVERIFY(QTest::qWaitFor([&] { return link.State().Interface == arg.toInt(); }, 3000));
        } else if (verb == QLatin1String("f")) {
            follower.SetFollowing(arg == QLatin1String("1"));
        } else if (verb == QLatin1String("m")) {
            Watcher watcher(broker.port); // what comes from now on, and the retained
            // Home Assistant's switch, announced once the radio was followed.
            QVERIFY(watcher.Saw("homeassistant/switch/orvik_2Frig/follow/config", "/set/follow"));
            watcher.Publish("orvik/rig/set/follow", arg.toLatin1());
            QVERIFY2(watcher.Saw("orvik/rig/result", "\"set/follow\",\"ok\":true") &&
                         watcher.Saw("orvik/rig/state",
                                     "\"following\":" +
                                         QByteArray(arg == QLatin1String("on") ? "true" : "false")),
                     qPrintable(where));
            // Kept for the next start, the rest of the file as it was.
            const Settings next = Settings::Read(ini);
            QVERIFY(next.rig.following == (arg == QLatin1String("on")) &&
                    next.rig.follow == radio.Address());
        } else if (verb == QLatin1String("k")) {
            radio.Stop();
        } else if (verb == QLatin1String("K")) {
            QVERIFY(radio.Start());
        } else if (verb == QLatin1String("L") || verb == QLatin1String("L1")) {
            auto count = [&] { return said.filter(arg).size(); };
            QVERIFY2(QTest::qWaitFor([&] { return count() > 0; }, 3000), qPrintable(where));
            if (verb == QLatin1String("L1"))
                QVERIFY2(count() == 1, qPrintable(where));
        } else {
            QFAIL(qPrintable(QStringLiteral("no such step: ") + s));
        }
    }
    station.Stop();
}

QTEST_GUILESS_MAIN(TestRig)
#include "tst_rig.moc"
