// End to end against orvik-sim: a tuning cycle fills the ATU readouts and
// switches the diagram, a simulated alarm raises its window and the
// all-clear hides it, and a line typed in the port monitor reaches the
// amplifier.
#include "PanelFixture.h"
#include "SimProcess.h"

#include "app/Alarms.h"
#include "app/StdControls.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

class TestPanelsSim : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void tuningCycle();
    void alarmAndAllClear();
    void typedLineReachesAmplifier();

private:
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<PanelFixture> f;
};

void TestPanelsSim::init() {
    sim = std::make_unique<SimProcess>();
    QVERIFY2(sim->start({QStringLiteral("--atu")}), qPrintable(sim->errorString()));
    f = std::make_unique<PanelFixture>();
    QVERIFY(f->open(sim->devicePath()));
    QTRY_VERIFY_WITH_TIMEOUT(f->w->Form1->IsConnected(), 5000);
    // The start-up burst's "ATU_INST: 1" shows the panel.
    QTRY_VERIFY_WITH_TIMEOUT(f->w->Fatu1->isVisible(), 5000);
}

void TestPanelsSim::cleanup() {
    f.reset();
    sim.reset();
}

void TestPanelsSim::tuningCycle() {
    TFatu1 *atu = f->w->Fatu1;
    QTRY_COMPARE(f->w->Form1->Session.CurrentBand, std::uint8_t(3));
    QVERIFY(atu->Image0->isHidden() && atu->Image1->isHidden());
    atu->Panel1Click();
    QVERIFY(sim->waitForLogged("ATU_STATE: 1"));
    QTRY_COMPARE(atu->Panel1->Caption(), QStringLiteral("ATU On"));
    QVERIFY(!atu->Timer1->isActive());

    atu->tune1click();
    QVERIFY(sim->waitForLogged("TUNE ON"));
    QTRY_COMPARE(atu->Panel2->Caption(), QStringLiteral("Tuning is in progress..."));
    QVERIFY(atu->Panel2->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(atu->Panel2->Caption(), QStringLiteral("Tuning is finished!!"), 5000);
    QVERIFY(!atu->Label4->text().isEmpty());
    QVERIFY(atu->Label4->text().endsWith(QChar(0xB5) + QStringLiteral("H")));
    QVERIFY(atu->Label8->text().endsWith(QStringLiteral(" pF")));
    QVERIFY(!atu->Label3->text().isEmpty());
    QVERIFY(atu->Label3->text() != QStringLiteral("???"));
    QVERIFY(atu->Image0->isVisible() != atu->Image1->isVisible());
    QTRY_COMPARE(atu->tune1->Color(), clBtnFace);

    // The switch K chooses the diagram.
    const bool k0 = atu->Image0->isVisible();
    sim->say(k0 ? "say END_K: 1" : "say END_K: 0");
    QTRY_COMPARE(atu->Image0->isVisible(), !k0);
    QCOMPARE(atu->Image1->isVisible(), k0);
    // The status panel uncovers the readouts after the cycle.
    QTRY_VERIFY_WITH_TIMEOUT(atu->Panel2->isHidden(), 5000);
}

void TestPanelsSim::alarmAndAllClear() {
    sim->say("alarm SWR");
    QTRY_VERIFY(f->w->FALARM_SWR->isVisible());
    sim->say("alarm TEMP");
    QTRY_VERIFY(f->w->Falarm_temp->isVisible());
    QVERIFY(f->w->FALARM_SWR->isVisible());
    sim->say("alarm OFF");
    QTRY_VERIFY(!f->w->FALARM_SWR->isVisible());
    QVERIFY(!f->w->Falarm_temp->isVisible());
    QCOMPARE(f->count(QStringLiteral("+ ALARM: OFF")), 2);
}

void TestPanelsSim::typedLineReachesAmplifier() {
    TForm2 *mon = f->w->Form2;
    mon->Edit1->setText(QStringLiteral("SWRmin: 12"));
    QTest::keyClick(mon->Edit1, Qt::Key_Return);
    QVERIFY(sim->waitForLogged("SWRmin: 12"));
    QCOMPARE(mon->Edit1->text(), QString());
    QVERIFY(f->count(QStringLiteral("- SWRmin: 12")) == 1);
    // The amplifier confirms; the ATU panel's menu follows.
    QTRY_VERIFY(f->w->Fatu1->SWR[1]->isChecked());
}

QTEST_MAIN(TestPanelsSim)
#include "tst_panels_sim.moc"
