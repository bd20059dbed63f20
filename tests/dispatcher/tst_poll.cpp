// The poll tick: the exact bytes and echoes of one tick in each state
// (connected or not, settings known or not, PTT block pending, the
// PTT-block button hidden while transmitting).
#include "app/Runtime.h"
#include "app/StdControls.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "service/Unit2.h"
#include "tests/common/PtyPeer.h"
#include "widgets/ColorButton.h"

#include <QAction>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
const QByteArray AllUnknown = "F?\r\n\r\nI?\r\n\r\nALM?\r\n\r\nCAL?\r\n\r\nALC_PWM?\r\n\r\n"
                              "InPower?\r\n\r\nBAR?\r\n\r\n\r\nTOT?\r\n\r\n\r\n";
const QByteArray EightBare = "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";
} // namespace

class TestPoll : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void notConnectedSendsNothing_data();
    void notConnectedSendsNothing();
    void nothingKnown();
    void everythingKnown();
    void eachSettingStopsItsQuery_data();
    void eachSettingStopsItsQuery();
    void pttBlockResent_data();
    void pttBlockResent();
    void pttBlockWaitsWhileTransmitting();
    void knownSurvivesReconnect();

private:
    void connectToPeer();
    void knowEverything();
    QStringList monitor() const;

    std::unique_ptr<TWindowSet> windows;
    std::unique_ptr<PtyPeer> peer;
    TForm1 *form = nullptr;
    QList<Runtime::MessageBoxCall> boxes;
};

void TestPoll::init() {
    boxes.clear();
    Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { boxes.append(c); });
    windows = std::make_unique<TWindowSet>();
    form = windows->windows().Form1;
    form->Timer1->setInterval(24 * 3600 * 1000);
    form->Timer2->setInterval(24 * 3600 * 1000);
    peer = std::make_unique<PtyPeer>();
    QVERIFY(peer->ok());
    form->ComboBox1->addItem(peer->devicePath());
    form->ComboBox1->setCurrentIndex(form->ComboBox1->count() - 1);
}

void TestPoll::cleanup() {
    windows.reset();
    peer.reset();
    form = nullptr;
    Runtime::SetMessageHandler(nullptr);
}

QStringList TestPoll::monitor() const {
    QStringList lines = windows->windows().Form2->Lines();
    if (lines.size() == 1 && lines.at(0).isEmpty())
        lines.clear();
    return lines;
}

// Open the port and take the state the identification gives, without the
// burst, so that only the tick's bytes are on the line.
void TestPoll::connectToPeer() {
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    form->openport->SetCaption(ConnectionCaption::Connected);
    form->Session.PaIdentified = true;
    windows->windows().Form2->Memo1->clear();
}

void TestPoll::knowEverything() {
    form->Max1->setChecked(true);
    form->ICOM1->setChecked(true);
    form->Nosound1->setChecked(true);
    form->N60W1->setChecked(true);
    form->Slow1->setChecked(true);
    form->N30min1->setChecked(true);
    form->Session.CalKnown = true;
    form->Session.AlcKnown = true;
}

void TestPoll::notConnectedSendsNothing_data() {
    QTest::addColumn<QString>("caption");
    QTest::newRow("connecting") << QStringLiteral("Connecting...");
    QTest::newRow("closed") << QStringLiteral("Open port");
    QTest::newRow("start") << QStringLiteral("Open Port");
    QTest::newRow("case differs") << QStringLiteral("pa connected");
}

void TestPoll::notConnectedSendsNothing() {
    QFETCH(QString, caption);
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    windows->windows().Form2->Memo1->clear();
    form->openport->SetCaption(caption);
    form->Session.BlockOnPending = true;
    form->Timer2Timer();
    QCOMPARE(peer->read(150), QByteArray());
    QVERIFY(monitor().isEmpty());
    QVERIFY(boxes.isEmpty());
}

void TestPoll::nothingKnown() {
    connectToPeer();
    form->Timer2Timer();
    QCOMPARE(peer->read(), AllUnknown);
    QCOMPARE(QByteArray(AllUnknown).count("\r\n") - 8, 10); // ten bare lines besides 8 queries
    // Each query echo carries its CR LF: an empty line follows it.
    QStringList expected;
    for (const char *q : {"F?", "I?", "ALM?", "CAL?", "ALC_PWM?", "InPower?", "BAR?", "TOT?"})
        expected << QStringLiteral("- ") + QLatin1String(q) << QString();
    QCOMPARE(monitor(), expected);
}

void TestPoll::everythingKnown() {
    connectToPeer();
    knowEverything();
    form->Timer2Timer();
    QCOMPARE(peer->read(), EightBare);
    QVERIFY(monitor().isEmpty());
    // The real timer drives the same tick.
    form->Timer2->setInterval(20);
    form->Timer2->start();
    QTest::qWait(70);
    form->Timer2->stop();
    const QByteArray ticks = peer->read();
    QVERIFY(ticks.size() >= EightBare.size());
    QCOMPARE(ticks.size() % EightBare.size(), 0);
    QCOMPARE(ticks, EightBare.repeated(ticks.size() / EightBare.size()));
}

void TestPoll::eachSettingStopsItsQuery_data() {
    QTest::addColumn<QString>("item"); // checked item, or a session flag
    QTest::addColumn<QByteArray>("gone");
    QTest::newRow("fan Max") << QStringLiteral("Max1") << QByteArray("F?\r\n");
    QTest::newRow("interface Manual") << QStringLiteral("Manual1") << QByteArray("I?\r\n");
    QTest::newRow("alarm Buzzer") << QStringLiteral("Buzzer1") << QByteArray("ALM?\r\n");
    QTest::newRow("input 4W") << QStringLiteral("N4W1") << QByteArray("InPower?\r\n");
    QTest::newRow("bar Very fast") << QStringLiteral("Veryfast1") << QByteArray("BAR?\r\n");
    QTest::newRow("TOT Off") << QStringLiteral("Off1") << QByteArray("TOT?\r\n");
    // Calibration and ALC take their bare line with them.
    QTest::newRow("CAL known") << QStringLiteral("CalKnown") << QByteArray("CAL?\r\n\r\n");
    QTest::newRow("ALC known") << QStringLiteral("AlcKnown") << QByteArray("ALC_PWM?\r\n\r\n");
}

void TestPoll::eachSettingStopsItsQuery() {
    QFETCH(QString, item);
    QFETCH(QByteArray, gone);
    connectToPeer();
    if (item == QStringLiteral("CalKnown"))
        form->Session.CalKnown = true;
    else if (item == QStringLiteral("AlcKnown"))
        form->Session.AlcKnown = true;
    else
        form->findChild<QAction *>(item)->setChecked(true);
    form->Timer2Timer();
    QByteArray expected = AllUnknown;
    expected.replace(expected.indexOf(gone), gone.size(), QByteArray());
    QCOMPARE(peer->read(), expected);
}

void TestPoll::pttBlockResent_data() {
    QTest::addColumn<bool>("on");
    QTest::addColumn<bool>("off");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QStringList>("echoes");
    QTest::newRow("none") << false << false << QByteArray() << QStringList();
    QTest::newRow("on") << true << false << QByteArray("BL:ON\r\n")
                        << QStringList{QStringLiteral("- BL:ON")};
    QTest::newRow("off") << false << true << QByteArray("BL:OFF\r\n")
                         << QStringList{QStringLiteral("- BL:OFF")};
    QTest::newRow("both, off first")
        << true << true << QByteArray("BL:OFF\r\nBL:ON\r\n")
        << QStringList{QStringLiteral("- BL:OFF"), QStringLiteral("- BL:ON")};
}

void TestPoll::pttBlockResent() {
    QFETCH(bool, on);
    QFETCH(bool, off);
    QFETCH(QByteArray, tail);
    QFETCH(QStringList, echoes);
    connectToPeer();
    knowEverything();
    form->Session.BlockOnPending = on;
    form->Session.BlockOffPending = off;
    for (int tick = 0; tick < 2; ++tick) {
        windows->windows().Form2->Memo1->clear();
        form->Timer2Timer();
        QCOMPARE(peer->read(), EightBare + tail);
        QCOMPARE(monitor(), echoes);
    }
    // The flags are the dispatcher's to clear.
    QCOMPARE(form->Session.BlockOnPending, on);
    QCOMPARE(form->Session.BlockOffPending, off);
}

void TestPoll::pttBlockWaitsWhileTransmitting() {
    connectToPeer();
    form->Session.BlockOnPending = true;
    form->SerialPortReceive(form->SerialPort, "TX: ON\r\n");
    QVERIFY(form->Panel1->isHidden());
    form->Timer2Timer();
    // Queries and bare lines still go out; the block command waits.
    QCOMPARE(peer->read(), AllUnknown);
    form->SerialPortReceive(form->SerialPort, "TX: OFF\r\n");
    form->Timer2Timer();
    QCOMPARE(peer->read(), AllUnknown + "BL:ON\r\n");
    // The confirmation ends the re-sending.
    form->SerialPortReceive(form->SerialPort, "BL:ON\r\n");
    form->Timer2Timer();
    QCOMPARE(peer->read(), AllUnknown);
}

void TestPoll::knownSurvivesReconnect() {
    connectToPeer();
    form->SerialPortReceive(form->SerialPort,
                            "F: 1\r\nI: 4\r\nALM: 3\r\nCAL: 180\r\nALC_PWM: 10\r\nInPower: 1\r\n"
                            "BAR: 2\r\nTOT: 4\r\n");
    form->Timer2Timer();
    QCOMPARE(peer->read(), EightBare);
    form->closeportclick();
    boxes.clear();
    // Close Port stops the poll; a tick while closed sends nothing.
    QVERIFY(!form->Timer2->isActive());
    form->Timer2Timer();
    form->ComboBox1->setCurrentIndex(form->ComboBox1->findText(peer->devicePath()));
    connectToPeer();
    QVERIFY(form->Timer2->isActive());
    form->Timer2Timer();
    QCOMPARE(peer->read(), EightBare);
    QVERIFY(boxes.isEmpty());
}

QTEST_MAIN(TestPoll)
#include "tst_poll.moc"
