// The operator's controls end to end against the simulated amplifier: the
// band circles, a setting item, an interface, the ALC bar and the PTT block
// go out over the real serial code, the amplifier confirms, and the window
// shows the confirmation; then a transmission uncovers the readouts.
#include "app/StdControls.h"
#include "tests/common/PanelFixture.h"
#include "widgets/BarMeter.h"
#include "widgets/LedLamp.h"

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

class TestMainWindowSim : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operatorSession();

private:
    void shot(TForm1 *form, const char *name);
};

void TestMainWindowSim::shot(TForm1 *form, const char *name) {
    // Pictures for a human to compare with the layout; only on request.
    if (qEnvironmentVariableIsEmpty("ORVIK_SHOTS"))
        return;
    const QString dir = qEnvironmentVariable("ORVIK_SHOTS");
    QDir().mkpath(dir);
    QVERIFY(form->grab().save(dir + QLatin1Char('/') + QLatin1String(name)));
}

void TestMainWindowSim::operatorSession() {
    PanelFixture f;
    QVERIFY2(f.start(), qPrintable(f.sim.errorString()));
    TForm1 *form = f.form;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QVERIFY(f.connect());
    // The start-up answers: manual interface (circles enabled), band 3,
    // calibrated.
    QTRY_VERIFY(form->Manual1->isChecked());
    QTRY_COMPARE(form->Session.CalValue, std::uint8_t(200));
    QTRY_COMPARE(form->Band[2]->BrushColor(), clLime);
    QVERIFY(form->Band[5]->isEnabled());

    // Band: a press on the sixth circle.
    QTest::mousePress(form->Band[5], Qt::LeftButton, {}, QPoint(12, 12));
    QVERIFY(f.sim.waitForLogged("B: 6"));
    QTRY_VERIFY(f.monitorCount(QStringLiteral("+ B: 6")) > 0);
    QCOMPARE(f.monitorCount(QStringLiteral("- B: 6")), 1);
    QCOMPARE(form->Band[5]->BrushColor(), clLime);
    QCOMPARE(form->Band[2]->BrushColor(), clSilver);

    // A setting item, confirmed by the amplifier.
    form->Max1->trigger();
    QVERIFY(f.sim.waitForLogged("F: 2"));
    QTRY_VERIFY(f.monitorCount(QStringLiteral("+ F: 2")) > 0);
    QVERIFY(form->Max1->isChecked());

    // Another interface: the circles stop answering the mouse.
    form->ICOM1->trigger();
    QVERIFY(f.sim.waitForLogged("I: 3"));
    QTRY_VERIFY(f.monitorCount(QStringLiteral("+ I: 3")) > 0);
    QCOMPARE(form->GroupBox1->title(), QStringLiteral("Band (ICOM)"));
    QTest::mousePress(form->Band[1], Qt::LeftButton, {}, QPoint(12, 12));
    form->Manual1->trigger();
    QVERIFY(f.sim.waitForLogged("I: 5"));
    QVERIFY(!f.sim.loggedLines().contains("B: 2"));
    QTRY_VERIFY(form->Band[1]->isEnabled());

    // ALC: 200 pixels into the bar with calibration 200 is level 120.
    QTest::mousePress(form->output, Qt::LeftButton, {}, QPoint(200, 16));
    QVERIFY(f.sim.waitForLogged("ALC_PWM: 120"));
    QTRY_VERIFY(f.monitorCount(QStringLiteral("+ ALC_PWM: 120")) > 0);
    QVERIFY(form->ALC1->isVisible());

    // PTT block and release, each confirmed.
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    QVERIFY(f.sim.waitForLogged("BL:ON"));
    QTRY_COMPARE(form->Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    QCOMPARE(form->Panel1->Color(), clAlertPink);
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    QVERIFY(f.sim.waitForLogged("BL:OFF", 2));
    QTRY_COMPARE(form->Panel1->Caption(), QStringLiteral("Click to block PTT"));
    QCOMPARE(f.monitorCount(QStringLiteral("- BL:OFF")), 1);
    QVERIFY(f.boxes.isEmpty());

    // A transmission hides the PTT button and shows the readouts under it.
    f.sim.say("tx 850 20 3");
    QTRY_VERIFY(form->tx_led->Value());
    QVERIFY(form->Panel1->isHidden());
    // The readings rise to about 850 W (with a little jitter).
    QTRY_VERIFY(form->output->Position() > 800);
    QVERIFY(form->P_out->text().endsWith(QStringLiteral(" W")));
    // The simulator reports the peak only at the end; a peak report now,
    // handed to the receive handler as the port would, places its marker.
    form->SerialPortReceive(form->SerialPort, QByteArrayLiteral("P_max: 870\r\n"));
    QVERIFY(form->P_max1->isVisible());
    QVERIFY(form->tx_led->Value());
    QVERIFY(form->P_out->isVisible());
    QVERIFY(form->tx_led->isVisible());
    QCOMPARE(form->GroupBox3->childAt(form->tx_led->geometry().center()), form->tx_led);
    shot(form, "main-transmitting.png");
    QTRY_VERIFY_WITH_TIMEOUT(!form->tx_led->Value(), 5000);
    QVERIFY(!form->Panel1->isHidden());
    QVERIFY(f.boxes.isEmpty());
}

QTEST_MAIN(TestMainWindowSim)
#include "tst_mainwindow_sim.moc"
