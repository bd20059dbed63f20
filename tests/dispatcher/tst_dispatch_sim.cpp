// The dispatcher and the poll against the simulated amplifier: the
// start-up burst, the menus filled from the replies, a transmission, a
// report split across two writes, and the quiet poll once all is known.
#include "tests/common/PanelFixture.h"
#include "widgets/BarMeter.h"
#include "widgets/LedLamp.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QLabel>

class TestDispatchSim : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void session();
};

void TestDispatchSim::session() {
    PanelFixture f;
    QVERIFY2(f.start(), qPrintable(f.sim.errorString()));
    MainWindow *form = f.main;
    QVERIFY(f.connect());
    // The start-up burst, in order, right after "PA?".
    QVERIFY(f.sim.waitForLogged("ATU_INST?"));
    const QList<QByteArray> burst = {"PA?",      "B?",   "InPower?", "T?",       "ALM?",
                                     "ALC_PWM?", "F?",   "I?",       "LB?",      "CAL?",
                                     "BAR?",     "TOT?", "Ver?",     "ATU_INST?"};
    QCOMPARE(f.sim.loggedLines().mid(0, burst.size()), burst);

    // The menus fill with the simulator's settings.
    QTRY_VERIFY(form->Link.State().readings.calibrationKnown &&
                form->Link.State().readings.alcKnown && Action(form, "Off1")->isChecked());
    for (QAction *a :
         {Action(form, "Hysteresis1"), Action(form, "Manual1"), Action(form, "CWbybuzzer1"),
          Action(form, "N4W1"), Action(form, "Fast1"), Action(form, "N12kW1")})
        QVERIFY2(a->isChecked(), qPrintable(a->objectName()));
    QCOMPARE(f.ui.Band[2]->BrushColor(), clLime);
    QCOMPARE(f.ui.ALC1->x(), 100 * 333 / 200 + 8);
    QCOMPARE(form->Link.State().readings.firmware, QStringLiteral("3.30"));

    // A transmission moves both bars and lights the LED; TX: OFF clears.
    f.sim.say("tx 850 12 0.6");
    QTRY_VERIFY(f.ui.tx_led->Value() && f.ui.output->Position() > 0 && f.ui.swr->Position() > 0);
    QVERIFY(f.ui.Panel1->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!f.ui.tx_led->Value(), 5000);
    QCOMPARE(f.ui.output->Position(), 0);
    QCOMPARE(f.ui.swr->Position(), 0);
    QVERIFY(!f.ui.Panel1->isHidden());
    QVERIFY(f.ui.P_out->text().isEmpty());

    // A report written in two parts is handled whole.
    f.sim.say("split O: 777");
    QTRY_COMPARE(f.ui.output->Position(), 777);
    QCOMPARE(f.count(QStringLiteral("+ O: 7")) + f.count(QStringLiteral("+ 77")), 0);

    // Everything known: a tick sends exactly eight bare lines.
    const qsizetype before = f.sim.loggedLines().size();
    const int bare = int(f.sim.loggedLines().count(QByteArray()));
    form->Link.PollTick();
    QVERIFY(f.sim.waitForLogged(QByteArray(), bare + 8));
    QTest::qWait(300); // nothing else may follow
    QCOMPARE(f.sim.loggedLines().size(), before + 8);
    QVERIFY(f.boxes.isEmpty());
}

QTEST_MAIN(TestDispatchSim)
#include "tst_dispatch_sim.moc"
