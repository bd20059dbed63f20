// The connection's life against the simulated amplifier: handshake, port
// lost, and the real timers, through the real serial code. Every way a
// connection ends is checked over a pseudo-terminal in tst_mainwindow.
#include "tests/common/PanelFixture.h"

#include <QElapsedTimer>

class TestEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void handshakeAnsweredAtThirdTick();
    void portLostOnUnplug();
    void realTimersConnectWithinASecond();
};

void TestEndToEnd::handshakeAnsweredAtThirdTick() {
    PanelFixture f;
    QVERIFY2(f.start({QStringLiteral("--answer-after"), QStringLiteral("3")}),
             qPrintable(f.sim.errorString()));
    f.form->openportclick();
    QVERIFY(f.sim.waitForLogged("PA?", 1));
    for (int tick = 1; tick <= 3; ++tick) {
        QCOMPARE(f.form->openport->Caption(), QStringLiteral("Connecting..."));
        f.form->Timer1Timer();
        QVERIFY(f.sim.waitForLogged("PA?", tick + 1));
    }
    QTRY_COMPARE(f.form->openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(!f.form->Timer1->isActive());
    QCOMPARE(f.form->Link.State().ConnectTicks, std::uint8_t(0));
    // The start-up queries follow; no further identification query.
    QVERIFY(f.sim.waitForLogged("ATU_INST?", 1));
    QCOMPARE(int(f.sim.loggedLines().count("PA?")), 4);
    QCOMPARE(f.monitorCount(QStringLiteral("- PA?")), 4);
    QVERIFY(f.boxes.isEmpty());
}

void TestEndToEnd::portLostOnUnplug() {
    // Replugging, again and again, is the soak tests' part.
    PanelFixture f;
    QVERIFY2(f.start(), qPrintable(f.sim.errorString()));
    QVERIFY(f.connect());
    f.sim.say("unplug");
    QTRY_COMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes.at(0).text, QStringLiteral("Disconnected from COM Port"));
    QCOMPARE(f.boxes.at(0).title, QStringLiteral("COM Port "));
    QCOMPARE(f.form->openport->Caption(), QStringLiteral("Open port"));
    QCOMPARE(f.form->ComboBox1->currentIndex(), -1);
    QVERIFY(f.form->ComboBox1->isEnabled());
    QVERIFY(!f.form->Timer2->isActive());
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

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
