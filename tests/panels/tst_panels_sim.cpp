// End to end against orvik-sim: a tuning cycle fills the ATU readouts and
// switches the diagram, an alarm raises its window and the all-clear hides
// it, and a line typed in the port monitor reaches the amplifier.
#include "SimProcess.h"
#include "tests/common/PanelFixture.h"

#include "app/AlarmWindow.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

class TestPanelsSim : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void endToEnd();
};

void TestPanelsSim::endToEnd() {
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--atu")}), qPrintable(sim.errorString()));
    PanelFixture f(true);
    QVERIFY(f.open(sim.devicePath()));
    QTRY_VERIFY_WITH_TIMEOUT(f.main->Link.State().IsConnected(), 5000);
    const AtuUi &atu = f.atu;
    QTRY_VERIFY_WITH_TIMEOUT(f.windows->Atu()->isVisible(), 5000); // "ATU_INST: 1" shows the panel
    QTRY_COMPARE(f.main->Link.State().readings.band, 3);

    // A tuning cycle: in line, tune, the readouts fill and a diagram shows.
    QVERIFY(atu.Image0->isHidden() && atu.Image1->isHidden());
    f.main->Link.ToggleAtu();
    QVERIFY(sim.waitForLogged("ATU_STATE: 1"));
    QTRY_COMPARE(atu.Panel1->Caption(), QStringLiteral("ATU On"));
    f.main->Link.Tune();
    QVERIFY(sim.waitForLogged("TUNE ON"));
    QTRY_COMPARE_WITH_TIMEOUT(atu.Panel2->Caption(), QStringLiteral("Tuning is finished!!"), 5000);
    QVERIFY(atu.Label4->text().endsWith(QChar(0xB5) + QStringLiteral("H")));
    QVERIFY(atu.Label8->text().endsWith(QStringLiteral(" pF")));
    QVERIFY(!atu.Label3->text().isEmpty() && atu.Label3->text() != QStringLiteral("???"));
    QVERIFY(atu.Image0->isVisible() != atu.Image1->isVisible());
    const bool k0 = atu.Image0->isVisible();
    sim.say(k0 ? "say END_K: 1" : "say END_K: 0");
    QTRY_COMPARE(atu.Image0->isVisible(), !k0);
    QCOMPARE(atu.Image1->isVisible(), k0);

    // An alarm and the all-clear.
    sim.say("alarm SWR");
    QTRY_VERIFY(f.windows->Alarm(AlarmKind::Swr)->isVisible());
    sim.say("alarm OFF");
    QTRY_VERIFY(!f.windows->Alarm(AlarmKind::Swr)->isVisible());

    // A typed line reaches the amplifier, whose confirmation the menu follows.
    f.mon.Edit1->setText(QStringLiteral("SWRmin: 12"));
    QTest::keyClick(f.mon.Edit1, Qt::Key_Return);
    QVERIFY(sim.waitForLogged("SWRmin: 12"));
    QTRY_VERIFY(atu.SWR[1]->isChecked());
}

QTEST_MAIN(TestPanelsSim)
#include "tst_panels_sim.moc"
