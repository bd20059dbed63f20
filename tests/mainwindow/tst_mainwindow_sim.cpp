// The operator's controls end to end against the simulated amplifier: a
// band circle, a setting item, the ALC bar and the PTT block go out over
// the real serial code, the amplifier confirms, and the window shows the
// confirmation; a transmission uncovers the readouts.
#include "tests/common/PanelFixture.h"
#include "widgets/BarMeter.h"
#include "widgets/LedLamp.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QLabel>

class TestMainWindowSim : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operatorSession();
};

void TestMainWindowSim::operatorSession() {
    PanelFixture f;
    QVERIFY2(f.start(), qPrintable(f.sim.errorString()));
    MainWindow *form = f.main;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QVERIFY(f.connect());
    // Manual interface (circles enabled), band 3, calibrated 200.
    QTRY_VERIFY(Action(form, "Manual1")->isChecked() &&
                form->Link.State().readings.calibration == 200);
    QTRY_COMPARE(f.ui.Band[2]->BrushColor(), clLime);

    QTest::mousePress(f.ui.Band[5], Qt::LeftButton, {}, QPoint(12, 12));
    Action(form, "Max1")->trigger();
    // 200 pixels into the bar with calibration 200 is level 120.
    QTest::mousePress(f.ui.output, Qt::LeftButton, {}, QPoint(200, 16));
    for (const char *line : {"B: 6", "F: 2", "ALC_PWM: 120"}) {
        QVERIFY2(f.sim.waitForLogged(line), line);
        QTRY_VERIFY(f.count(QStringLiteral("+ ") + QLatin1String(line)) > 0);
        QCOMPARE(f.count(QStringLiteral("- ") + QLatin1String(line)), 1);
    }
    QCOMPARE(f.ui.Band[2]->BrushColor(), clSilver);
    QVERIFY(f.ui.ALC1->isVisible());

    // PTT block and release, each confirmed.
    QTest::mouseClick(f.ui.Panel1, Qt::LeftButton);
    QTRY_COMPARE(f.ui.Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    QCOMPARE(f.ui.Panel1->Color(), clAlertPink);
    QTest::mouseClick(f.ui.Panel1, Qt::LeftButton);
    QVERIFY(f.sim.waitForLogged("BL:OFF", 2));
    QTRY_COMPARE(f.ui.Panel1->Caption(), QStringLiteral("Click to block PTT"));
    QCOMPARE(f.count(QStringLiteral("- BL:OFF")), 1);

    // A transmission hides the PTT button and shows the readouts under it.
    f.sim.say("tx 850 20 3");
    QTRY_VERIFY(f.ui.tx_led->Value() && f.ui.output->Position() > 800);
    QVERIFY(f.ui.Panel1->isHidden());
    QVERIFY(f.ui.P_out->isVisible() && f.ui.P_out->text().endsWith(QStringLiteral(" W")));
    QCOMPARE(f.ui.GroupBox3->childAt(f.ui.tx_led->geometry().center()), f.ui.tx_led);
    QTRY_VERIFY_WITH_TIMEOUT(!f.ui.tx_led->Value(), 5000);
    QVERIFY(!f.ui.Panel1->isHidden());
    QVERIFY(f.boxes.isEmpty());
}

QTEST_MAIN(TestMainWindowSim)
#include "tst_mainwindow_sim.moc"
