// SPDX-License-Identifier: GPL-3.0-or-later
// The ATU panel: its layout and L-network drawings, its controls with their
// guards and the link's re-send of the in/out switch, the tuner's reports as
// the panel draws them, and a tuning cycle against the simulated amplifier.
#include "tests/common/PanelFixture.h"

#include <QTest>

class TestAtuPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { f = std::make_unique<PanelFixture>(true); }
    void cleanup() { f.reset(); }

    void atuLayout() {
        QCOMPARE(f->windows->Atu()->centralWidget()->size(), QSize(572, 131));
        QCOMPARE(f->atuTimerInterval, 1000);
        // The status panel lies over the lamp and the readouts.
        f->atu.Panel2->show();
        QWidget *client = f->windows->Atu()->centralWidget();
        QCOMPARE(client->childAt(f->atu.Led->geometry().center()), f->atu.Panel2);
        QCOMPARE(client->childAt(f->atu.Label4->geometry().center()), f->atu.Panel2);
    }

    // The in/out button from each switch state ("" as laid out, or the
    // report that set it) on a band: what it sends, and how it looks after.
    void panel1Click_data() {
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<int>("band");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("captionAfter");
        QTest::addColumn<TColor>("colorAfter");
        QTest::newRow("Bypass, band 3")
            << QByteArray() << 3 << QByteArray("ATU_STATE: 1\r\n") << "Bypass" << clLightGreen;
        QTest::newRow("BYPASS, band 1")
            << QByteArray("ATU_STATE: 0") << 1 << QByteArray("ATU_STATE: 1\r\n") << "BYPASS"
            << clAlertPink;
        QTest::newRow("Bypass, band 7")
            << QByteArray() << 7 << QByteArray() << "ATU On" << clLightGreen;
        QTest::newRow("ATU On, band 3")
            << QByteArray("ATU_STATE: 1") << 3 << QByteArray("ATU_STATE: 0\r\n") << "ATU On"
            << clLightGreen;
        QTest::newRow("ATU On, band 7")
            << QByteArray("ATU_STATE: 1") << 7 << QByteArray("ATU_STATE: 0\r\n") << "ATU On"
            << clLightGreen;
    }

    void panel1Click() {
        QFETCH(QByteArray, state);
        QFETCH(int, band);
        QFETCH(QByteArray, sent);
        QFETCH(QString, captionAfter);
        QFETCH(TColor, colorAfter);
        QVERIFY(f->connectPeer());
        selectBand(band);
        if (!state.isEmpty())
            f->receive(state + "\r\n");
        const int lines = f->monitorWindow()->LineCount();
        f->atu.Panel1->OnClick(); // the click path, with its error guard
        QCOMPARE(f->peer.read(sent.isEmpty() ? 150 : 300), sent);
        // Band 7 is shown in line at once; otherwise only a report changes the button.
        QCOMPARE(f->atu.Panel1->Caption(), captionAfter);
        QCOMPARE(f->atu.Panel1->Color(), colorAfter);
        QCOMPARE(f->main->Link.AtuTimer()->isActive(), !sent.isEmpty());
        QCOMPARE(f->monitorWindow()->LineCount(), lines + (sent.isEmpty() ? 0 : 1));
        QVERIFY(f->boxes.isEmpty());
    }

    void tuneAndFineTuning_data() {
        QTest::addColumn<bool>("inLine");
        QTest::addColumn<int>("band");
        QTest::addColumn<QByteArray>("sent"); // after TUNE, then Fine Tuning
        QTest::newRow("in line, band 3") << true << 3 << QByteArray("TUNE ON\r\nTUNE FINE\r\n");
        QTest::newRow("in line, band 7") << true << 7 << QByteArray("TUNE FINE\r\n");
        QTest::newRow("bypassed, band 3") << false << 3 << QByteArray();
        QTest::newRow("bypassed, band 7") << false << 7 << QByteArray();
    }

    void tuneAndFineTuning() {
        QFETCH(bool, inLine);
        QFETCH(int, band);
        QFETCH(QByteArray, sent);
        QVERIFY(f->connectPeer());
        selectBand(band);
        if (inLine)
            f->receive("ATU_STATE: 1\r\n");
        QVERIFY(f->atu.FineTuning1->isEnabled());
        const int lines = f->monitorWindow()->LineCount();
        f->main->Link.Tune();
        f->atu.FineTuning1->trigger();
        QCOMPARE(f->peer.read(sent.isEmpty() ? 150 : 300), sent);
        QCOMPARE(f->monitorWindow()->LineCount(),
                 lines + int(sent.count('\n'))); // refusals log nothing
    }

    void memoryClearAndSwrMin() {
        QVERIFY(f->connectPeer());
        Action(f->windows->Atu(), "MemoryClear1")->trigger(); // no guard: sent in any state
        f->atu.SWR[2]->trigger();
        f->atu.SWR[6]->trigger();
        QCOMPARE(f->peer.read(), QByteArray("CMEM\r\nSWRmin: 13\r\nSWRmin: 17\r\n"));
        QCOMPARE(f->monitor().last(), QStringLiteral("- SWRmin: 17"));
        for (int i = 0; i < 7; ++i)
            QCOMPARE(f->atu.SWR[i]->isChecked(), i == 6);
    }

    void timerResends() {
        QVERIFY(f->connectPeer());
        f->main->Link.AtuTick(); // nothing pending: nothing sent
        QCOMPARE(f->peer.read(150), QByteArray());
        selectBand(3);
        f->atu.Panel1->OnClick();
        QCOMPARE(f->peer.read(), QByteArray("ATU_STATE: 1\r\n"));
        f->main->Link.AtuTick();
        QCOMPARE(f->peer.read(), QByteArray("ATU_STATE: 1\r\n"));
        f->main->Link.Close();
        const int boxes = f->boxes.size();
        f->main->Link.AtuTick(); // closed: sending would report an error
        QVERIFY2(f->boxes.size() == boxes, qPrintable(f->boxes.value(boxes).text));
        QVERIFY(f->main->Link.AtuTimer()->isActive());
        QVERIFY(f->open(f->peer.devicePath()));
        f->peer.read(200);
        f->main->Link.AtuTick(); // "Connecting...": still idle
        QCOMPARE(f->peer.read(150), QByteArray());
        f->receive("PA_QZ9QZ\r\n");
        f->peer.read(300);
        f->main->Link.AtuTick();
        QCOMPARE(f->peer.read(), QByteArray("ATU_STATE: 1\r\n"));
        // The confirmation ends the re-sending.
        f->receive("ATU_STATE: 1\r\n");
        QVERIFY(!f->main->Link.AtuTimer()->isActive());
    }

    void clickOnClosedPortChangesNothing() {
        QVERIFY(f->connectPeer());
        selectBand(3);
        f->main->Link.Close();
        f->boxes.clear(); // "Disconnected from COM Port"
        const int lines = f->monitorWindow()->LineCount();
        f->atu.Panel1->OnClick();
        QCOMPARE(f->boxes.size(), 1);
        QCOMPARE(f->boxes[0].icon, Runtime::MsgIcon::Error);
        QVERIFY(!f->main->Link.AtuTimer()->isActive());
        QCOMPARE(f->monitorWindow()->LineCount(), lines);
        // Nothing pending: a later connection re-sends nothing.
        QVERIFY(f->open(f->peer.devicePath()));
        f->receive("PA_QZ9QZ\r\n");
        f->peer.read(300);
        f->main->Link.AtuTick();
        QCOMPARE(f->peer.read(150), QByteArray());
    }

    void diagrams() {
        // The capacitor to ground sits on the input side in one drawing and on the
        // output side in the other: dark red lines, green dots, blue letters, on white.
        // For a dense screen (ratio 2) the same drawing has twice the pixels each way.
        for (int r : {1, 2}) {
            const QImage in = DrawLNetwork(true, r), out = DrawLNetwork(false, r);
            QCOMPARE(in.size(), QSize(171, 96) * r);
            QCOMPARE(in.devicePixelRatio(), qreal(r));
            auto count = [r](const QImage &img, TColor c, int x0, int x1, int y0, int y1) {
                int n = 0;
                for (int y = y0 * r; y < y1 * r; ++y)
                    for (int x = x0 * r; x < x1 * r; ++x)
                        n += (img.pixel(x, y) & 0xFFFFFF) == (ToQColor(c).rgb() & 0xFFFFFF);
                return n;
            };
            const int some = r * r;
            QCOMPARE(in.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
            QVERIFY(count(in, clMaroon, 0, 85, 40, 60) > 20 * some);
            QCOMPARE(count(in, clMaroon, 85, 171, 40, 60), 0);
            QVERIFY(count(out, clMaroon, 85, 171, 40, 60) > 20 * some);
            QCOMPARE(count(out, clMaroon, 0, 85, 40, 60), 0);
            QVERIFY(count(in, clGreen, 0, 171, 0, 96) > 10 * some &&
                    count(out, clGreen, 0, 171, 0, 96) > 10 * some);
            QVERIFY(count(in, clBlue, 0, 171, 0, 96) > 10 * some &&
                    count(out, clBlue, 0, 171, 0, 96) > 10 * some);
        }
    }

    // One row per case (ReportTable.h): "@tune1" colours the tune button
    // first, "@atu" starts the in/out switch's re-send.
    void reports_data() {
        AddReportColumns();
        const auto row = ReportRow;
        // The tuner's status message in its colour; 0 hides it.
        row("", "ATU_INF: 1", "+ ATU_INF: 1", "atu.Panel2=Wrong power!/clFuchsia");
        row("", "ATU_INF: 2", "+ ATU_INF: 2", "atu.Panel2=SWR is too high (>1:4)!/clFuchsia");
        row("", "ATU_INF: 3", "+ ATU_INF: 3", "atu.Panel2=Tuning is in progress.../clYellow");
        row("", "ATU_INF: 4", "+ ATU_INF: 4", "atu.Panel2=Tuning is finished!!/lightgreen");
        row("", "ATU_INF: 5", "+ ATU_INF: 5", "atu.Panel2=Tuning is failed !/clFuchsia");
        row("", "ATU_INF: 6", "+ ATU_INF: 6",
            "atu.Panel2=SWR is OK - tuning is not required!/lightgreen");
        row("", "ATU_INF: 7", "+ ATU_INF: 7", "atu.Panel2=ATU is for HF Bands only!/clFuchsia");
        row("ATU_INF: 5", "ATU_INF: 0", "+ ATU_INF: 0", "atu.Panel2=hidden");
        // Fine tuning is offered after firmware "3.28".
        row("", "Ver: 3.30x2", "+ Ver: 3.30x2|+ Ver: 3.30x2", "FineTuning1=1");
        row("Ver: 3.30x2", "Ver: 3.28", "+ Ver: 3.28|+ Ver: 3.28", "FineTuning1=0");
        // The tuner fitted: the main window's menu item enabled and the panel shown.
        row("", "ATU_INST: 1", "+ ATU_INST: 1|+ ATU_INSTALLED: 1", "ATUPanel1=1|atu.visible=1");
        row("ATU_INST: 1", "ATU_INST: 0", "+ ATU_INST: 0|+ ATU_INSTALLED: 0",
            "ATUPanel1=0|atu.visible=1");
        // The tuner's switch, confirmed: caption, colour, fine tuning, re-send stopped.
        row("Ver: 3.30|@atu", "ATU_STATE: 1", "+ ATU_STATE: 1|+ ATU_STATE: 1",
            "atu.Panel1=ATU On/lightgreen|atu.Timer1=0|FineTuning1=1");
        row("Ver: 3.30|@atu", "ATU_STATE: 2", "+ ATU_STATE: 2|+ ATU_STATE: 0",
            "atu.Panel1=BYPASS/alertpink|atu.Timer1=0|FineTuning1=0");
        row("Ver: 3.30|ATU_STATE: 0|I: 5|B: 3|RED", "YELLOW", "+ YELLOW|+ YELLOW",
            "atu.Led=clYellow|atu.Panel1=ATU On/lightgreen|FineTuning1=1");
        // Tuning finished, the tuner's lamp, SWR min.
        row("@tune1", "TUNE OFF", "+ TUNE OFF|+ TUNE OFF", "atu.tune1=clBtnFace");
        row("", "RED", "+ RED|+ RED", "atu.Led=clRed");
        row("", "GREEN", "+ GREEN|+ GREEN", "atu.Led=clLime");
        row("RED", "GREY", "+ GREY|+ GREY", "atu.Led=clSilver");
        row("SWRmin: 11", "SWRmin: 14", "+ SWRmin: 14|+ SWRmin: 14", "atu.SWR=0001000");
        // The tuner's readouts and diagrams.
        row("", "ATU_FWD: 12345678", "+ ATU_FWD: 12345678", "atu.Label7=12345");
        row("", "END_L: 101", "+ END_L: 101|+ Port L: 00000101", "atu.Label4=0.2 µH");
        row("", "END_C: 111111111", "+ END_C: 111111111|+ Port C: 11111111", "atu.Label8=1275 pF");
        row("END_C: 1", "END_C: 1x1",
            "+ END_C: 1x1|+ Port C: 000001x1|****** Conversion error Port C", "atu.Label8=");
        row("", "END_SWR:  15", "+ END_SWR:  15|+ SWR: 1.5", "atu.Label3=1.5");
        row("", "SWR: 123", "+ SWR: 123|+ SWR: 12.3", "atu.Label3=12.3");
        // A connection that ends takes the readouts shown as received with it.
        row("ATU_FWD: 12x45|SWR: 15|@close", "K: 0", "+ K: 0|+ K: 0", "atu.Label3=|atu.Label7=");
        row("", "K: 0", "+ K: 0|+ K: 0", "K=10");
        row("K: 0", "END_K: 1", "+ END_K: 1|+ K: 1", "K=01");
    }

    void reports() {
        QVERIFY(f->connectPeer());
        f->checkReport(probes(), [this](const QString &step) {
            if (step == QStringLiteral("@tune1")) {
                f->atu.tune1->SetColor(clYellow);
            } else if (step == QStringLiteral("@close")) {
                f->main->Link.Close();
                f->boxes.clear(); // "Disconnected from COM Port"
            } else {
                f->main->Link.AtuTimer()->start();
            }
        });
    }

    void endToEnd();

private:
    Probes probes() const {
        const MainWindow *main = f->main;
        const AtuUi &atu = f->atu;
        auto panel = [](const TPanel *p) {
            return p->isHidden() ? QStringLiteral("hidden")
                                 : p->Caption() + QLatin1Char('/') + ColorWord(p->Color());
        };
        return {
            {QStringLiteral("ATUPanel1"),
             [=] { return Flag(Action(main, "ATUPanel1")->isEnabled()); }},
            {QStringLiteral("atu.visible"), [=] { return Flag(f->windows->Atu()->isVisible()); }},
            {QStringLiteral("atu.Panel1"), [=] { return panel(atu.Panel1); }},
            {QStringLiteral("atu.Panel2"), [=] { return panel(atu.Panel2); }},
            {QStringLiteral("FineTuning1"), [=] { return Flag(atu.FineTuning1->isEnabled()); }},
            {QStringLiteral("atu.Timer1"), [=] { return Flag(main->Link.AtuTimer()->isActive()); }},
            {QStringLiteral("atu.Led"), [=] { return ColorWord(atu.Led->TrueColor()); }},
            {QStringLiteral("atu.tune1"), [=] { return ColorWord(atu.tune1->Color()); }},
            {QStringLiteral("atu.SWR"),
             [=] {
                 QString out;
                 for (const QAction *a : atu.SWR)
                     out += Flag(a->isChecked());
                 return out;
             }},
            {QStringLiteral("atu.Label3"), [=] { return atu.Label3->text(); }},
            {QStringLiteral("atu.Label4"), [=] { return atu.Label4->text(); }},
            {QStringLiteral("atu.Label7"), [=] { return atu.Label7->text(); }},
            {QStringLiteral("atu.Label8"), [=] { return atu.Label8->text(); }},
            {QStringLiteral("K"),
             [=] { return Flag(!atu.Image0->isHidden()) + Flag(!atu.Image1->isHidden()); }},
        };
    }

    // The amplifier reports the band (the link must be identified).
    void selectBand(int band) { f->receive("B: " + QByteArray::number(band) + "\r\n"); }
    std::unique_ptr<PanelFixture> f;
};

void TestAtuPanel::endToEnd() {
    f.reset(); // one set of windows at a time: the fixture points the settings at its folder
    f = std::make_unique<PanelFixture>();
    QVERIFY2(f->start({QStringLiteral("--atu")}), qPrintable(f->sim.errorString()));
    QVERIFY(f->connect());
    SimProcess &sim = f->sim;
    const AtuUi &atu = f->atu;
    QTRY_VERIFY_WITH_TIMEOUT(f->windows->Atu()->isVisible(), 5000); // "ATU_INST: 1" shows the panel
    QTRY_COMPARE(f->main->Link.State().readings.band, 3);

    // A tuning cycle: in line, tune, the readouts fill and a diagram shows.
    QVERIFY(atu.Image0->isHidden() && atu.Image1->isHidden());
    f->main->Link.ToggleAtu();
    QVERIFY(sim.waitForLogged("ATU_STATE: 1"));
    QTRY_COMPARE(atu.Panel1->Caption(), QStringLiteral("ATU On"));
    f->main->Link.Tune();
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

    // A typed line reaches the amplifier, whose confirmation the menu follows.
    f->mon.Edit1->setText(QStringLiteral("SWRmin: 12"));
    QTest::keyClick(f->mon.Edit1, Qt::Key_Return);
    QVERIFY(sim.waitForLogged("SWRmin: 12"));
    QTRY_VERIFY(atu.SWR[1]->isChecked());
}

QTEST_MAIN(TestAtuPanel)
#include "tst_atupanel.moc"
