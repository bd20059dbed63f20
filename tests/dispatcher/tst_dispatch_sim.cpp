// The dispatcher and the poll against the simulated amplifier: connect,
// the start-up burst, the menus filled from the replies, a transmission,
// a report split across two writes, and the quiet poll once all is known.
#include "SimProcess.h"
#include "app/Runtime.h"
#include "app/StdControls.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "service/Unit2.h"
#include "widgets/BarMeter.h"
#include "widgets/LedLamp.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <memory>

class TestDispatchSim : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void session();

private:
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<TWindowSet> windows;
    TForm1 *form = nullptr;
    QList<Runtime::MessageBoxCall> boxes;
};

void TestDispatchSim::init() {
    boxes.clear();
    Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { boxes.append(c); });
    sim = std::make_unique<SimProcess>();
    QVERIFY2(sim->start(), qPrintable(sim->errorString()));
    windows = std::make_unique<TWindowSet>();
    form = windows->windows().Form1;
    // The poll is driven by the test.
    form->Timer1->setInterval(24 * 3600 * 1000);
    form->Timer2->setInterval(24 * 3600 * 1000);
}

void TestDispatchSim::cleanup() {
    windows.reset();
    sim.reset();
    Runtime::SetMessageHandler(nullptr);
}

void TestDispatchSim::session() {
    form->ComboBox1->addItem(sim->devicePath());
    form->ComboBox1->setCurrentIndex(form->ComboBox1->count() - 1);
    form->openportclick();
    QTRY_VERIFY_WITH_TIMEOUT(form->IsConnected(), 3000);

    // The start-up burst, in order, right after "PA?".
    QVERIFY(sim->waitForLogged("ATU_INST?"));
    const QList<QByteArray> expected = {"PA?",      "B?",   "InPower?", "T?",       "ALM?",
                                        "ALC_PWM?", "F?",   "I?",       "LB?",      "CAL?",
                                        "BAR?",     "TOT?", "Ver?",     "ATU_INST?"};
    QCOMPARE(sim->loggedLines().mid(0, expected.size()), expected);

    // The menus fill with the simulator's settings (band 3, fan 3, manual
    // interface, buzzer 1, input 1, bar 3, TOT 1, calibrated 200, ALC 100).
    QTRY_VERIFY_WITH_TIMEOUT(form->Session.CalKnown && form->Session.AlcKnown, 3000);
    QTRY_VERIFY(form->Off1->isChecked());
    QVERIFY(form->Hysteresis1->isChecked());
    QVERIFY(form->Manual1->isChecked());
    QVERIFY(form->CWbybuzzer1->isChecked());
    QVERIFY(form->N4W1->isChecked());
    QVERIFY(form->Fast1->isChecked());
    QVERIFY(form->N12kW1->isChecked());
    QCOMPARE(form->Session.CurrentBand, std::uint8_t(3));
    QCOMPARE(form->Band[2]->BrushColor(), clLime);
    QVERIFY(form->Band[2]->isEnabled());
    QCOMPARE(form->Session.CalValue, std::uint8_t(200));
    QCOMPARE(form->Session.AlcValue, std::uint8_t(100));
    QVERIFY(!form->ALC1->isHidden());
    QCOMPARE(form->ALC1->x(), 100 * 333 / 200 + 8);
    QCOMPARE(form->Session.FirmwareVersion, QStringLiteral("3.30"));

    // A transmission moves both bars and lights the LED; TX: OFF clears.
    sim->say("tx 850 12 0.6");
    QTRY_VERIFY_WITH_TIMEOUT(form->tx_led->Value(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(form->output->Position() > 0 && form->swr->Position() > 0, 3000);
    QVERIFY(form->Panel1->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!form->tx_led->Value(), 5000);
    QCOMPARE(form->output->Position(), 0);
    QCOMPARE(form->swr->Position(), 0);
    QVERIFY(!form->Panel1->isHidden());
    QVERIFY(form->P_out->text().isEmpty());

    // A report written in two parts is handled whole.
    sim->say("split O: 777");
    QTRY_COMPARE_WITH_TIMEOUT(form->output->Position(), 777, 3000);
    const QStringList log = windows->windows().Form2->Lines();
    QVERIFY(log.contains(QStringLiteral("+ O: 777")));
    QVERIFY(!log.contains(QStringLiteral("+ O: 7")));
    QVERIFY(!log.contains(QStringLiteral("+ 77")));

    // Everything known: a tick sends exactly eight bare CR LF lines.
    const qsizetype before = sim->loggedLines().size();
    const auto bareCount = [this] { return int(sim->loggedLines().count(QByteArray())); };
    const int bareBefore = bareCount();
    form->Timer2Timer();
    QVERIFY(sim->waitForLogged(QByteArray(), bareBefore + 8));
    QTest::qWait(300);
    QCOMPARE(sim->loggedLines().size(), before + 8);
    QCOMPARE(bareCount(), bareBefore + 8);
    QVERIFY(boxes.isEmpty());
}

QTEST_MAIN(TestDispatchSim)
#include "tst_dispatch_sim.moc"
