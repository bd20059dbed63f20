// SPDX-License-Identifier: GPL-3.0-or-later
// The link's connection: the handshake that gives up when the amplifier
// never identifies itself, a port lost under it, a port that cannot be
// opened, automatic reconnection to a device that goes and comes back (lost
// connected, during the handshake or absent from the start; back with or
// without the amplifier; the wait ended by Close Port or the setting), and the
// back-off from a ser2net port that another client keeps taking.
#include "link/StatusView.h"
#include "serial/SerialPort.h"
#include "tests/common/Ser2net.h"
#include "tests/link/LinkFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestConnection : public LinkFixture {
    Q_OBJECT
private Q_SLOTS:
    void handshakeGivesUp();
    void portLost();
    void openRefused();
    void reconnection_data();
    void reconnection();
    void takenPort_data();
    void takenPort();
};

// Eleven ticks without an answer: ten more "PA?", then the link closes and
// says why, after the port's own disconnect.
void TestConnection::handshakeGivesUp() {
    open();
    QVERIFY(link->HandshakeTimer()->isActive());
    for (int tick = 1; tick <= AmpLink::HandshakeTicks; ++tick) {
        link->HandshakeTick();
        QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
        QCOMPARE(link->State().Phase, LinkPhase::Connecting);
    }
    QVERIFY(effects.isEmpty());
    link->HandshakeTick();
    QCOMPARE(peer->read(150), QByteArray("PA?\r\n"));
    QCOMPARE(effects, (QStringList{QStringLiteral("lost:Disconnected from COM Port"),
                                   QStringLiteral("box:Error:Sorry, PA not found on ") +
                                       peer->devicePath()}));
    QCOMPARE(link->State().Phase, LinkPhase::Closed);
    QCOMPARE(link->State().ConnectTicks, std::uint8_t(0));
    QVERIFY(!link->HandshakeTimer()->isActive());
    QVERIFY(!link->PollTimer()->isActive());
    QVERIFY(!link->Port()->Connected());
}

void TestConnection::portLost() {
    connectPeer();
    QList<LinkPhase> phases;
    connect(link.get(), &AmpLink::ConnectionChanged, this, [&phases](LinkPhase p) { phases << p; });
    peer->closeMaster();
    QTRY_COMPARE(link->State().Phase, LinkPhase::Closed);
    QCOMPARE(effects, Split("lost:Disconnected from COM Port"));
    QCOMPARE(phases, QList<LinkPhase>{LinkPhase::Closed});
    QVERIFY(!link->PollTimer()->isActive());
    QVERIFY(!link->Port()->Connected());
    // A send on the closed port fails and logs nothing.
    log.clear();
    QVERIFY(!link->SendTypedLine("T?"));
    QVERIFY(log.isEmpty());
}

void TestConnection::openRefused() {
    const QString missing = QStringLiteral("/dev/orvik-no-such-device");
    QVERIFY(link->Open(missing).startsWith(QStringLiteral("Cannot connect to ")));
    QCOMPARE(link->State().Phase, LinkPhase::Start);
    QCOMPARE(link->State().PortName, missing);
    QVERIFY(!link->HandshakeTimer()->isActive());
    QVERIFY(log.isEmpty());
    QVERIFY(effects.isEmpty());
}

// Automatic reconnection over a device name that, like a by-id link, stays
// while the device behind it goes and comes back. Each row loses the port
// one way, then ends the wait one way: "replug" (the device returns and the
// amplifier answers), "silent" (it returns, the amplifier does not answer,
// the wait starts again), "close" (Close Port), "off" (the setting is
// turned off). The monitor gets one entry per loss and no message box.
void TestConnection::reconnection_data() {
    QTest::addColumn<QString>("loss");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<LinkPhase>("phase");
    const QString lost = QStringLiteral("****** Port lost: @, waiting for it");
    const QString back = QStringLiteral("****** Port back: @");
    QTest::newRow("unplugged, back") << "unplug"
                                     << "replug" << QStringList{lost, back} << LinkPhase::Connected;
    QTest::newRow("unplugged during the handshake, back")
        << "handshake"
        << "replug" << QStringList{lost, back} << LinkPhase::Connected;
    QTest::newRow("not there at start, back")
        << "absent"
        << "replug" << QStringList{QStringLiteral("****** Waiting for port: @"), back}
        << LinkPhase::Connected;
    QTest::newRow("back without the amplifier: waits again")
        << "unplug"
        << "silent"
        << QStringList{lost, back, QStringLiteral("****** PA not found on @, waiting for it")}
        << LinkPhase::Waiting;
    QTest::newRow("Close Port ends the wait") << "unplug"
                                              << "close" << QStringList{lost} << LinkPhase::Closed;
    QTest::newRow("turned off ends the wait") << "unplug"
                                              << "off" << QStringList{lost} << LinkPhase::Closed;
}

void TestConnection::reconnection() {
    QFETCH(QString, loss);
    QFETCH(QString, end);
    QFETCH(QStringList, entries);
    QFETCH(LinkPhase, phase);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("amp"));
    auto plug = [&] {
        peer = std::make_unique<PtyPeer>();
        QFile::remove(name);
        QVERIFY(peer->ok() && QFile::link(peer->devicePath(), name));
    };
    link->SetAutoReconnect(true);
    if (loss == QLatin1String("absent")) {
        link->WaitForPort(name);
    } else {
        plug();
        QCOMPARE(link->Open(name), QString());
        QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
        if (loss == QLatin1String("unplug"))
            feed("PA_QZ9QZ\r\n");
        // Lost in the middle of a transmission with an alarm and a tuning.
        feed("TX: ON\r\nO: 1020\r\nALARM: SWR\r\nEND_SWR:  15\r\nATU_INF: 2\r\n");
        log.clear();
        effects.clear();
        peer->closeMaster();
        QFile::remove(name);
    }
    QTRY_COMPARE(link->State().Phase, LinkPhase::Waiting);
    QVERIFY(link->ReconnectTimer()->isActive());
    QVERIFY(!link->HandshakeTimer()->isActive());
    QVERIFY(!link->PollTimer()->isActive());
    QVERIFY(!link->Port()->Connected());
    // Retries while the device is missing add nothing.
    link->ReconnectTick();
    link->ReconnectTick();
    QCOMPARE(link->State().Phase, LinkPhase::Waiting);
    QCOMPARE(log.size(), 1);

    if (end == QLatin1String("close")) {
        link->Close();
    } else if (end == QLatin1String("off")) {
        link->SetAutoReconnect(false);
    } else {
        plug();
        link->ReconnectTick();
        QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
        QCOMPARE(link->State().Phase, LinkPhase::Connecting);
        QVERIFY(!link->ReconnectTimer()->isActive());
        if (end == QLatin1String("replug")) {
            feed("PA_QZ9QZ\r\n");
            QVERIFY(peer->read().startsWith("B?\r\nInPower?\r\n")); // the start-up burst
        } else {
            for (int tick = 0; tick <= AmpLink::HandshakeTicks; ++tick)
                link->HandshakeTick();
            QVERIFY(!link->Port()->Connected());
        }
    }
    QCOMPARE(link->State().Phase, phase);
    QCOMPARE(link->ReconnectTimer()->isActive(), phase == LinkPhase::Waiting);
    QCOMPARE(link->PollTimer()->isActive(), phase == LinkPhase::Connected);
    QStringList expected;
    for (const QString &e : entries)
        expected << QString(e).replace(QLatin1Char('@'), name);
    QStringList marked;
    for (const QString &e : log)
        if (e.startsWith(QLatin1String("******")))
            marked << e;
    QCOMPARE(marked, expected);
    QCOMPARE(effects, QStringList());
    // Nothing of the lost connection looks current, back or not.
    const StatusView v = ViewOf(link->State());
    QVERIFY(!v.transmitting.Now() && !v.outputW.Now() && !v.tuner.swr.Now() &&
            !v.tuner.status.Now());
    QVERIFY(!v.alarms.Now().value_or(QList<AlarmKind>()).contains(AlarmKind::Swr));
}

// A ser2net port that hands itself to its newest client (kickolduser),
// taken from the link by another client keptMs after each handshake began.
// Taken at once twice in a row, the waits grow to a minute (a few
// identifications a minute at most), told once; kept a while, each loss is
// an ordinary one. Free again, the port comes back by itself.
void TestConnection::takenPort_data() {
    QTest::addColumn<int>("keptMs");
    QTest::addColumn<QList<int>>("waits"); // before each attempt after a loss
    QTest::newRow("taken at once each time") << 500 << QList<int>{0, 10000, 30000, 60000, 60000};
    QTest::newRow("kept a while each time") << 4000 << QList<int>{0, 0, 0, 0, 0};
}

void TestConnection::takenPort() {
    QFETCH(int, keptMs);
    QFETCH(QList<int>, waits);
    peer = std::make_unique<PtyPeer>();
    Ser2net bridge;
    QVERIFY(bridge.Start(peer->devicePath()));
    link->SetAutoReconnect(true);
    QCOMPARE(link->Open(bridge.Name()), QString());
    for (const int wait : waits) {
        now += keptMs;
        // Another client connects: ser2net hands it the port, and it goes.
        const int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(quint16(bridge.port));
        QCOMPARE(::connect(other, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        QTRY_COMPARE(link->State().Phase, LinkPhase::Waiting);
        ::close(other);
        if (wait > 0) {
            now += wait - 1;
            link->ReconnectTick();
            QCOMPARE(link->State().Phase, LinkPhase::Waiting);
            now += 1;
        }
        link->ReconnectTick();
        QCOMPARE(link->State().Phase, LinkPhase::Connecting);
    }
    const bool taken = waits.last() > 0;
    QCOMPARE(link->State().PortTaken, taken);
    QCOMPARE(log.count(QStringLiteral("****** %1 is taken by another client: trying again at "
                                      "growing intervals, up to a minute")
                           .arg(bridge.Name())),
             taken ? 1 : 0);
    // Kept now: identified, and ours again once it has been kept a while.
    // Answered once the identification has come through ser2net.
    QByteArray asked;
    QTRY_VERIFY((asked += peer->read(50)).contains("PA?"));
    peer->write("PA_QZ9QZ\r\n");
    QTRY_COMPARE(link->State().Phase, LinkPhase::Connected);
    now += AmpLink::TakenWithinMs + 1;
    link->LivenessTick();
    QVERIFY(!link->State().PortTaken);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
