// The ATU panel: layout, every handler with its guards, the re-send timer,
// the reports the dispatcher writes into it, and the two diagrams.
#include "PanelFixture.h"

#include "app/StdControls.h"
#include "widgets/LedLamp.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

class TestAtuPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void startState();
    void panel1Click_data();
    void panel1Click();
    void bypassThenConfirm();
    void tuneAndFineTuning_data();
    void tuneAndFineTuning();
    void memoryClearAndSwrMin();
    void timerResends_data();
    void timerResends();
    void timerIdlesWhenNotConnected();
    void sendOnClosedPortChangesNothing();
    void statusPanel_data();
    void statusPanel();
    void diagrams();
    void closingOnlyHides();

private:
    void selectBand(int band);
    void setInLine(bool inLine);
    std::unique_ptr<PanelFixture> f;
    TFatu1 *atu = nullptr;
    TForm1 *main = nullptr;
};

void TestAtuPanel::init() {
    f = std::make_unique<PanelFixture>();
    atu = f->w->Fatu1;
    main = f->w->Form1;
}

void TestAtuPanel::cleanup() {
    atu = nullptr;
    main = nullptr;
    f.reset();
}

void TestAtuPanel::selectBand(int band) {
    main->Session.CurrentBand = std::uint8_t(band);
    for (int i = 0; i < 7; ++i)
        main->Band[i]->SetBrushColor(i + 1 == band ? clLime : clSilver);
}

void TestAtuPanel::setInLine(bool inLine) {
    atu->Panel1->SetCaption(inLine ? QStringLiteral("ATU On") : QStringLiteral("Bypass"));
}

void TestAtuPanel::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Panel1") << QStringLiteral("Panel1") << QRect(24, 12, 129, 41);
    QTest::newRow("tune1") << QStringLiteral("tune1") << QRect(24, 64, 129, 41);
    QTest::newRow("Led") << QStringLiteral("Led") << QRect(227, 12, 22, 22);
    QTest::newRow("Image0") << QStringLiteral("Image0") << QRect(352, 32, 169, 73);
    QTest::newRow("Image1") << QStringLiteral("Image1") << QRect(352, 32, 169, 73);
    QTest::newRow("Panel2") << QStringLiteral("Panel2") << QRect(168, 12, 385, 97);
}

void TestAtuPanel::layout() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    auto *w = atu->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), geometry);
    QCOMPARE(atu->centralWidget()->size(), QSize(572, 131));
}

void TestAtuPanel::startState() {
    QCOMPARE(atu->windowTitle(), QStringLiteral("ATU Remote Control"));
    QVERIFY(atu->isHidden());
    QCOMPARE(atu->Panel1->Caption(), QStringLiteral("Bypass"));
    QCOMPARE(atu->Panel1->Color(), clLightGreen);
    QCOMPARE(atu->tune1->Caption(), QStringLiteral("TUNE"));
    QVERIFY(!atu->tune1->Latching());
    QCOMPARE(atu->tune1->HotColor(), clYellow);
    QCOMPARE(atu->tune1->DownColor(), clLime);
    QCOMPARE(atu->tune1->HotFontColor(), clRed);
    QCOMPARE(atu->Led->TrueColor(), clYellow);
    QVERIFY(atu->Led->Value());
    QVERIFY(!atu->Led->Blink());
    QCOMPARE(atu->Led->LEDStyle(), LEDLarge);
    QCOMPARE(atu->Label5->text(), QStringLiteral("SWR:"));
    QCOMPARE(atu->Label1->text(), QStringLiteral("L:"));
    QCOMPARE(atu->Label2->text(), QStringLiteral("C:"));
    QCOMPARE(atu->Label6->text(), QStringLiteral("FWD:"));
    for (QLabel *value : {atu->Label3, atu->Label4, atu->Label8})
        QCOMPARE(value->text(), QString());
    for (QWidget *hidden :
         {static_cast<QWidget *>(atu->Label6), static_cast<QWidget *>(atu->Label7),
          static_cast<QWidget *>(atu->Image0), static_cast<QWidget *>(atu->Image1),
          static_cast<QWidget *>(atu->Panel2)})
        QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
    QCOMPARE(atu->Panel2->Color(), clFuchsia);
    QCOMPARE(f->atuTimerInterval, 1000);
    QVERIFY(!atu->Timer1->isActive());
    // The "Setup" menu.
    QCOMPARE(atu->Setup1->title(), QStringLiteral("Setup"));
    QStringList items;
    for (QAction *a : atu->Setup1->actions())
        items << (a->isSeparator() ? QStringLiteral("|") : a->text());
    QCOMPARE(items, (QStringList{QStringLiteral("SWR min"), QStringLiteral("|"),
                                 QStringLiteral("Memory Clear"), QStringLiteral("Fine Tuning")}));
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(atu->SWR[i]->text(), QStringLiteral("1.%1").arg(i + 1));
        QVERIFY(!atu->SWR[i]->isChecked());
    }
    QVERIFY(atu->FineTuning1->isEnabled());
    // The status panel lies over the lamp and the readouts.
    atu->Panel2->show();
    QWidget *client = atu->centralWidget();
    QCOMPARE(client->childAt(atu->Led->geometry().center()), static_cast<QWidget *>(atu->Panel2));
    QCOMPARE(client->childAt(QPoint(260, 70)), static_cast<QWidget *>(atu->Panel2));
}

void TestAtuPanel::panel1Click_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("band");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("captionAfter");
    QTest::addColumn<bool>("onPending");
    QTest::addColumn<bool>("bypassPending");
    QTest::newRow("Bypass, band 3")
        << QStringLiteral("Bypass") << 3 << QByteArray("ATU_STATE: 1\r\n")
        << QStringLiteral("Bypass") << true << false;
    QTest::newRow("BYPASS, band 1")
        << QStringLiteral("BYPASS") << 1 << QByteArray("ATU_STATE: 1\r\n")
        << QStringLiteral("BYPASS") << true << false;
    QTest::newRow("Bypass, band 7") << QStringLiteral("Bypass") << 7 << QByteArray()
                                    << QStringLiteral("ATU On") << false << false;
    QTest::newRow("ATU On, band 3")
        << QStringLiteral("ATU On") << 3 << QByteArray("ATU_STATE: 0\r\n")
        << QStringLiteral("ATU On") << false << true;
    QTest::newRow("ATU On, band 7")
        << QStringLiteral("ATU On") << 7 << QByteArray("ATU_STATE: 0\r\n")
        << QStringLiteral("ATU On") << false << true;
}

void TestAtuPanel::panel1Click() {
    QFETCH(QString, caption);
    QFETCH(int, band);
    QFETCH(QByteArray, sent);
    QFETCH(QString, captionAfter);
    QFETCH(bool, onPending);
    QFETCH(bool, bypassPending);
    QVERIFY(f->connectPeer());
    selectBand(band);
    atu->Panel1->SetCaption(caption);
    atu->Panel1->SetColor(clAlertPink);
    const int lines = f->w->Form2->LineCount();
    atu->Panel1->OnClick(); // the click path, with its error guard
    QCOMPARE(f->peer.read(sent.isEmpty() ? 150 : 300), sent);
    QCOMPARE(atu->Panel1->Caption(), captionAfter);
    QCOMPARE(main->Session.AtuOnPending, onPending);
    QCOMPARE(main->Session.AtuBypassPending, bypassPending);
    QCOMPARE(atu->Timer1->isActive(), !sent.isEmpty());
    if (sent.isEmpty()) {
        // Band 7: shown locally, in light green; nothing sent or logged.
        QCOMPARE(atu->Panel1->Color(), clLightGreen);
        QCOMPARE(f->w->Form2->LineCount(), lines);
    } else {
        QCOMPARE(f->w->Form2->LastLine(),
                 QStringLiteral("- ") + QString::fromLatin1(sent.chopped(2)));
        QCOMPARE(atu->Panel1->Color(), clAlertPink); // only a report changes it
    }
    QVERIFY(f->boxes.isEmpty());
}

void TestAtuPanel::bypassThenConfirm() {
    // Bypassed on band 3: the request is repeated every tick until confirmed.
    QVERIFY(f->connectPeer());
    f->receive("Ver: 3.30\r\n");
    selectBand(3);
    atu->Panel1Click();
    atu->Timer1Timer();
    atu->Timer1Timer();
    QCOMPARE(f->peer.read(), QByteArray("ATU_STATE: 1\r\nATU_STATE: 1\r\nATU_STATE: 1\r\n"));
    QCOMPARE(f->count(QStringLiteral("- ATU_STATE: 1")), 3);
    f->receive("ATU_STATE: 1\r\n");
    QVERIFY(!atu->Timer1->isActive());
    QVERIFY(!main->Session.AtuOnPending);
    QCOMPARE(atu->Panel1->Caption(), QStringLiteral("ATU On"));
    QCOMPARE(atu->Panel1->Color(), clLightGreen);
    atu->Timer1Timer();
    QCOMPARE(f->peer.read(150), QByteArray());
    // In line: a click asks for bypass, confirmed by "ATU_STATE: 0".
    atu->Panel1Click();
    QCOMPARE(f->peer.read(), QByteArray("ATU_STATE: 0\r\n"));
    f->receive("ATU_STATE: 0\r\n");
    QCOMPARE(atu->Panel1->Caption(), QStringLiteral("BYPASS"));
    QCOMPARE(atu->Panel1->Color(), clAlertPink);
    QVERIFY(!main->Session.AtuBypassPending);
    QVERIFY(!atu->Timer1->isActive());
    QVERIFY(!atu->FineTuning1->isEnabled());
}

void TestAtuPanel::tuneAndFineTuning_data() {
    QTest::addColumn<bool>("inLine");
    QTest::addColumn<int>("band");
    QTest::addColumn<QByteArray>("tune");
    QTest::addColumn<QByteArray>("fine");
    QTest::newRow("in line, band 3")
        << true << 3 << QByteArray("TUNE ON\r\n") << QByteArray("TUNE FINE\r\n");
    QTest::newRow("in line, band 7") << true << 7 << QByteArray() << QByteArray("TUNE FINE\r\n");
    QTest::newRow("bypassed, band 3") << false << 3 << QByteArray() << QByteArray();
    QTest::newRow("bypassed, band 7") << false << 7 << QByteArray() << QByteArray();
}

void TestAtuPanel::tuneAndFineTuning() {
    QFETCH(bool, inLine);
    QFETCH(int, band);
    QFETCH(QByteArray, tune);
    QFETCH(QByteArray, fine);
    QVERIFY(f->connectPeer());
    selectBand(band);
    setInLine(inLine);
    const int lines = f->w->Form2->LineCount();
    atu->tune1click();
    QCOMPARE(f->peer.read(tune.isEmpty() ? 150 : 300), tune);
    atu->FineTuning1->trigger();
    QCOMPARE(f->peer.read(fine.isEmpty() ? 150 : 300), fine);
    // Refused silently: nothing logged either.
    QCOMPARE(f->w->Form2->LineCount(), lines + int(!tune.isEmpty()) + int(!fine.isEmpty()));
    QVERIFY(f->boxes.isEmpty());
}

void TestAtuPanel::memoryClearAndSwrMin() {
    QVERIFY(f->connectPeer());
    atu->MemoryClear1->trigger(); // no guard: sent in any state
    QCOMPARE(f->peer.read(), QByteArray("CMEM\r\n"));
    QCOMPARE(f->w->Form2->LastLine(), QStringLiteral("- CMEM"));
    atu->SWR[2]->trigger();
    QCOMPARE(f->peer.read(), QByteArray("SWRmin: 13\r\n"));
    QCOMPARE(f->w->Form2->LastLine(), QStringLiteral("- SWRmin: 13"));
    atu->SWR[6]->trigger();
    QCOMPARE(f->peer.read(), QByteArray("SWRmin: 17\r\n"));
    for (int i = 0; i < 7; ++i)
        QCOMPARE(atu->SWR[i]->isChecked(), i == 6);
}

void TestAtuPanel::timerResends_data() {
    QTest::addColumn<bool>("onPending");
    QTest::addColumn<bool>("bypassPending");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("none") << false << false << QByteArray();
    QTest::newRow("on") << true << false << QByteArray("ATU_STATE: 1\r\n");
    QTest::newRow("bypass") << false << true << QByteArray("ATU_STATE: 0\r\n");
    QTest::newRow("both, on first")
        << true << true << QByteArray("ATU_STATE: 1\r\nATU_STATE: 0\r\n");
}

void TestAtuPanel::timerResends() {
    QFETCH(bool, onPending);
    QFETCH(bool, bypassPending);
    QFETCH(QByteArray, sent);
    QVERIFY(f->connectPeer());
    main->Session.AtuOnPending = onPending;
    main->Session.AtuBypassPending = bypassPending;
    atu->Timer1Timer();
    QCOMPARE(f->peer.read(sent.isEmpty() ? 150 : 300), sent);
}

void TestAtuPanel::timerIdlesWhenNotConnected() {
    QVERIFY(f->connectPeer());
    selectBand(3);
    atu->Panel1Click();
    QCOMPARE(f->peer.read(), QByteArray("ATU_STATE: 1\r\n"));
    main->closeportclick();
    QVERIFY(atu->Timer1->isActive());
    const int boxes = f->boxes.size();
    atu->Timer1Timer(); // closed: would fail if it tried to send
    QVERIFY2(f->boxes.size() == boxes, qPrintable(f->boxes.value(boxes).text));
    QVERIFY(atu->Timer1->isActive());
    QVERIFY(main->Session.AtuOnPending);
    // Reconnected: the request goes out again.
    QVERIFY(f->open(f->peer.devicePath()));
    f->peer.read(200);
    atu->Timer1Timer(); // "Connecting...": still idle
    QCOMPARE(f->peer.read(150), QByteArray());
    f->receive("PA_QZ9QZ\r\n");
    f->peer.read(300);
    atu->Timer1Timer();
    QCOMPARE(f->peer.read(), QByteArray("ATU_STATE: 1\r\n"));
}

void TestAtuPanel::sendOnClosedPortChangesNothing() {
    selectBand(3);
    atu->Panel1->OnClick();
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(f->boxes[0].icon, Runtime::MsgIcon::Error);
    QVERIFY(!main->Session.AtuOnPending);
    QVERIFY(!atu->Timer1->isActive());
    QCOMPARE(f->w->Form2->LineCount(), 0);
}

void TestAtuPanel::statusPanel_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<TColor>("color");
    QTest::newRow("1") << 1 << QStringLiteral("Wrong power!") << clFuchsia;
    QTest::newRow("2") << 2 << QStringLiteral("SWR is too high (>1:4)!") << clFuchsia;
    QTest::newRow("3") << 3 << QStringLiteral("Tuning is in progress...") << clYellow;
    QTest::newRow("4") << 4 << QStringLiteral("Tuning is finished!!") << clLightGreen;
    QTest::newRow("5") << 5 << QStringLiteral("Tuning is failed !") << clFuchsia;
    QTest::newRow("6") << 6 << QStringLiteral("SWR is OK - tuning is not required!")
                       << clLightGreen;
    QTest::newRow("7") << 7 << QStringLiteral("ATU is for HF Bands only!") << clFuchsia;
}

void TestAtuPanel::statusPanel() {
    QFETCH(int, code);
    QFETCH(QString, caption);
    QFETCH(TColor, color);
    QVERIFY(f->connectPeer());
    f->receive("ATU_INF: " + QByteArray::number(code) + "\r\n");
    QVERIFY(!atu->Panel2->isHidden());
    QCOMPARE(atu->Panel2->Caption(), caption);
    QCOMPARE(atu->Panel2->Color(), color);
    f->receive("ATU_INF: 9\r\n"); // above 7: no change
    QVERIFY(!atu->Panel2->isHidden());
    QCOMPARE(atu->Panel2->Caption(), caption);
    f->receive("ATU_INF: 0\r\n"); // uncovers the readouts
    QVERIFY(atu->Panel2->isHidden());
}

void TestAtuPanel::diagrams() {
    QVERIFY(f->connectPeer());
    f->receive("K: 0\r\n");
    QVERIFY(!atu->Image0->isHidden());
    QVERIFY(atu->Image1->isHidden());
    f->receive("END_K: 1\r\n");
    QVERIFY(atu->Image0->isHidden());
    QVERIFY(!atu->Image1->isHidden());

    // The drawings: the capacitor to ground sits on the input side in one and
    // on the output side in the other, in dark red with green junction dots
    // and blue letters, on white.
    const QImage in = DrawLNetwork(true), out = DrawLNetwork(false);
    QCOMPARE(in.size(), QSize(171, 96));
    QVERIFY(in != out);
    auto count = [](const QImage &img, QRgb rgb, int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += (img.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF);
        return n;
    };
    const QRgb red = ToQColor(clMaroon).rgb(), green = ToQColor(clGreen).rgb(),
               blue = ToQColor(clBlue).rgb(), white = qRgb(255, 255, 255);
    QCOMPARE(in.pixel(0, 0) & 0xFFFFFF, white & 0xFFFFFF);
    // The capacitor's plates: dark red between the two lines, left or right.
    const int mid = 171 / 2;
    QVERIFY(count(in, red, 0, mid, 40, 60) > 20);
    QCOMPARE(count(in, red, mid, 171, 40, 60), 0);
    QVERIFY(count(out, red, mid, 171, 40, 60) > 20);
    QCOMPARE(count(out, red, 0, mid, 40, 60), 0);
    for (const QImage *img : {&in, &out}) {
        QVERIFY(count(*img, green, 0, 171, 0, 96) > 10);
        QVERIFY(count(*img, blue, 0, 171, 0, 96) > 10);
    }
}

void TestAtuPanel::closingOnlyHides() {
    QPointer<TFatu1> guard(atu);
    atu->show();
    QVERIFY(atu->close());
    QVERIFY(guard);
    QVERIFY(atu->isHidden());
    QVERIFY(!atu->testAttribute(Qt::WA_QuitOnClose));
}

QTEST_MAIN(TestAtuPanel)
#include "tst_atupanel.moc"
