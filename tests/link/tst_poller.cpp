// SPDX-License-Identifier: GPL-3.0-or-later
// What the link sends of its own, byte for byte over a pseudo-terminal:
// the start-up burst on identification, the poll's queries and bare lines
// for what is not known yet (nothing while not connected, the PTT block's
// re-sends held back while transmitting, what is known kept across a
// reconnection), and the probe that asks whether the amplifier still answers,
// with "no answer" and "answers again" on a driven clock.
#include "serial/SerialPort.h"
#include "tests/link/LinkFixture.h"

#include <QTest>

namespace {

const QByteArray AllUnknown = "F?\r\n\r\nI?\r\n\r\nALM?\r\n\r\nCAL?\r\n\r\nALC_PWM?\r\n\r\n"
                              "InPower?\r\n\r\nBAR?\r\n\r\n\r\nTOT?\r\n\r\n\r\n";
// Replies that make every polled setting known.
const QByteArray AllSettings =
    "F: 1\r\nI: 4\r\nALM: 3\r\nCAL: 180\r\nALC_PWM: 10\r\nInPower: 1\r\nBAR: 2\r\nTOT: 4\r\n";
const QByteArray EightBare = "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";
const char *const BurstQueries[] = {"B?",  "InPower?", "T?",   "ALM?", "ALC_PWM?", "F?",       "I?",
                                    "LB?", "CAL?",     "BAR?", "TOT?", "Ver?",     "ATU_INST?"};

} // namespace

class TestPoller : public LinkFixture {
    Q_OBJECT
private Q_SLOTS:
    void identificationSendsBurst();
    void pollNotConnected_data();
    void pollNotConnected();
    void pollAsksWhatIsUnknown_data();
    void pollAsksWhatIsUnknown();
    void pollPttBlockWaitsWhileTransmitting();
    void pollKnownSurvivesReconnect();
    void liveness_data();
    void liveness();
};

void TestPoller::identificationSendsBurst() {
    open();
    log.clear();
    link->HandshakeTick();
    link->HandshakeTick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\nPA?\r\n"));
    QCOMPARE(link->State().ConnectTicks, std::uint8_t(2));
    log.clear();
    feed("PA_QZ9QZ-extra\r\nO: 100\r\n");
    // The first four queries pause 20 ms each, on the burst's timer: the
    // first has gone, the lines after the identification are taken at once.
    QCOMPARE(log, Split("+ PA_QZ9QZ-extra|+ PA_QZ9QZ|- B?\r\n|+ O: 100|+ O: 100"));
    QVERIFY(link->BurstTimer()->isActive());
    QVERIFY(link->State().PaIdentified);
    QCOMPARE(link->State().Phase, LinkPhase::Connected);
    QVERIFY(!link->HandshakeTimer()->isActive());
    QVERIFY(link->PollTimer()->isActive());
    QCOMPARE(link->State().ConnectTicks, std::uint8_t(0));
    QByteArray wire;
    QStringList expected = Split("+ PA_QZ9QZ-extra|+ PA_QZ9QZ");
    for (const char *q : BurstQueries) {
        wire += QByteArray(q) + "\r\n";
        // Each echo carries its CR LF: the monitor shows an empty line after it.
        expected << QStringLiteral("- ") + QLatin1String(q) + QStringLiteral("\r\n");
    }
    QCOMPARE(peer->read(), wire);
    expected.insert(3, QStringLiteral("+ O: 100"));
    expected.insert(3, QStringLiteral("+ O: 100"));
    QCOMPARE(log, expected);
    QCOMPARE(link->State().readings.outputW, 100);
    // A tick after identification sends nothing more.
    link->HandshakeTick();
    QCOMPARE(peer->read(150), QByteArray());
}

void TestPoller::pollNotConnected_data() {
    QTest::addColumn<int>("phase");
    QTest::newRow("start") << int(LinkPhase::Start);
    QTest::newRow("connecting") << int(LinkPhase::Connecting);
    QTest::newRow("closed") << int(LinkPhase::Closed);
}

void TestPoller::pollNotConnected() {
    QFETCH(int, phase);
    if (LinkPhase(phase) == LinkPhase::Start) {
        link->PollTick(); // nothing open: a send would raise
        QVERIFY(log.isEmpty());
        return;
    }
    open();
    log.clear();
    feed("BL:ON\r\n"); // not identified: only logged
    if (LinkPhase(phase) == LinkPhase::Closed) {
        feed("PA_QZ9QZ\r\n");
        peer->read();
        link->Close();
        QVERIFY(QTest::qWaitFor([&] { return !link->Port()->Connected(); }, 1000));
    }
    QCOMPARE(int(link->State().Phase), phase);
    log.clear();
    link->PollTick();
    QCOMPARE(peer->read(150), QByteArray());
    QVERIFY(log.isEmpty());
}

void TestPoller::pollAsksWhatIsUnknown_data() {
    QTest::addColumn<QByteArray>("known"); // replies that make settings known
    QTest::addColumn<QByteArray>("wire");
    auto without = [](const char *gone) { return QByteArray(AllUnknown).replace(gone, ""); };
    QTest::newRow("nothing known: 8 queries, 10 bare lines") << QByteArray() << AllUnknown;
    QTest::newRow("fan") << QByteArray("F: 2\r\n") << without("F?\r\n");
    QTest::newRow("fan out of range") << QByteArray("F: 5\r\n") << AllUnknown;
    QTest::newRow("interface") << QByteArray("I: 5\r\n") << without("I?\r\n");
    QTest::newRow("alarm") << QByteArray("ALM: 2\r\n") << without("ALM?\r\n");
    QTest::newRow("input") << QByteArray("InPower: 1\r\n") << without("InPower?\r\n");
    QTest::newRow("bar") << QByteArray("BAR: 4\r\n") << without("BAR?\r\n");
    QTest::newRow("TOT") << QByteArray("TOT: 1\r\n") << without("TOT?\r\n");
    // Calibration and ALC take their bare line with them, numbers or not.
    QTest::newRow("CAL") << QByteArray("CAL: x\r\n") << without("CAL?\r\n\r\n");
    QTest::newRow("ALC") << QByteArray("ALC_PWM: 3\r\n") << without("ALC_PWM?\r\n\r\n");
    QTest::newRow("everything: exactly eight bare lines") << AllSettings << EightBare;
}

void TestPoller::pollAsksWhatIsUnknown() {
    QFETCH(QByteArray, known);
    QFETCH(QByteArray, wire);
    connectPeer();
    feed(known);
    log.clear();
    link->PollTick();
    QCOMPARE(peer->read(), wire);
    // Each query's echo carries its CR LF; bare lines are not echoed.
    QStringList echoes;
    for (const QByteArray &l : wire.split('\n'))
        if (l.size() > 1)
            echoes << QStringLiteral("- ") + QString::fromLatin1(l.chopped(1)) +
                          QStringLiteral("\r\n");
    QCOMPARE(log, echoes);
}

void TestPoller::pollPttBlockWaitsWhileTransmitting() {
    connectPeer();
    link->TogglePttBlock();
    QCOMPARE(peer->read(), QByteArray("BL:ON\r\n"));
    feed("TX: ON\r\n");
    link->PollTick();
    // Queries and bare lines still go out; the block command waits.
    QCOMPARE(peer->read(), AllUnknown);
    feed("TX: OFF\r\n");
    link->PollTick();
    QCOMPARE(peer->read(), AllUnknown + "BL:ON\r\n");
    // The confirmation ends the re-sending; releasing sends BL:OFF twice,
    // and the poll re-sends it until confirmed.
    feed("BL:ON\r\n");
    link->PollTick();
    QCOMPARE(peer->read(), AllUnknown);
    link->TogglePttBlock();
    QCOMPARE(peer->read(), QByteArray("BL:OFF\r\nBL:OFF\r\n"));
    link->PollTick();
    QCOMPARE(peer->read(), AllUnknown + "BL:OFF\r\n");
    feed("BL:OFF\r\n");
    link->PollTick();
    QCOMPARE(peer->read(), AllUnknown);
}

void TestPoller::pollKnownSurvivesReconnect() {
    connectPeer();
    feed(AllSettings);
    // A transmission of the last connection holds nothing back on this one.
    feed("TX: ON\r\n");
    link->Close();
    // Close stops the poll; a tick while closed sends nothing.
    QVERIFY(!link->PollTimer()->isActive());
    link->PollTick();
    QCOMPARE(link->Open(peer->devicePath()), QString());
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    QVERIFY(link->PollTimer()->isActive());
    feed("PA_QZ9QZ\r\n");
    peer->read();
    link->PollTick();
    QCOMPARE(peer->read(), EightBare);
    link->TogglePttBlock();
    QCOMPARE(peer->read(), QByteArray("BL:ON\r\n"));
    link->PollTick();
    QCOMPARE(peer->read(), EightBare + "BL:ON\r\n");
}

// Whether the amplifier answers, on a clock the test drives: "line MS" is a
// report arriving at MS, "tick MS" the liveness tick at MS (connected at 0).
// Expected: the monitor's entries, the probes on the wire, the state at the end.
void TestPoller::liveness_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("entries"); // @ the port
    QTest::addColumn<bool>("noAnswer");
    const QString probe = QStringLiteral("- T?\r\n");
    const QString silent = QStringLiteral("****** No answer from the amplifier on @");
    const QString back = QStringLiteral("****** The amplifier on @ answers again");
    const QString t35 = QStringLiteral("+ T: 35");
    QTest::newRow("lines arriving: nothing added")
        << "line 2500|tick 2999|line 5000|tick 7999" << QStringList{t35, t35, t35, t35} << false;
    QTest::newRow("quiet: a probe per 5 s, no answer at 6 s, back with a line")
        << "tick 2999|tick 3000|tick 5999|tick 6000|tick 7999|tick 8000|line 8100"
        << QStringList{probe, silent, probe, back, QStringLiteral("- B?\r\n"), t35, t35} << false;
    QTest::newRow("a probe answered keeps it; the next is given time to be answered")
        << "tick 3000|line 3050|tick 7999|tick 8000|tick 9499|tick 9500"
        << QStringList{probe, t35, t35, probe, silent} << true;
}

void TestPoller::liveness() {
    QFETCH(QString, steps);
    QFETCH(QStringList, entries);
    QFETCH(bool, noAnswer);
    qint64 now = 0;
    link->SetClock([&now] { return now; });
    connectPeer();
    for (const QString &step : steps.split(QLatin1Char('|'))) {
        now = step.section(QLatin1Char(' '), 1).toLongLong();
        if (step.startsWith(QLatin1String("line")))
            feed("T: 35\r\n");
        else
            link->LivenessTick();
    }
    QCOMPARE(log, entries.replaceInStrings(QStringLiteral("@"), peer->devicePath()));
    // Each probe went out as a poll's query does, echoed with its CR LF;
    // answering again, the start-up queries go again.
    QByteArray wire = QByteArray("T?\r\n").repeated(int(log.count(QStringLiteral("- T?\r\n"))));
    if (!noAnswer && log.count(QStringLiteral("- B?\r\n")))
        for (const char *q : BurstQueries)
            wire += QByteArray(q) + "\r\n";
    QCOMPARE(peer->read(), wire);
    QCOMPARE(link->State().ReadingsCurrent(), !noAnswer);
}

QTEST_GUILESS_MAIN(TestPoller)
#include "tst_poller.moc"
