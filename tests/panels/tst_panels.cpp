// The ATU panel's handlers with their guards and its re-send timer, the
// L-network drawings, the alarm windows and the calibration arrows. What the
// tuner's reports do to the panel is checked with the dispatcher.
#include "tests/common/PanelFixture.h"

#include "app/AlarmWindow.h"
#include "service/CalibrationWindow.h"
#include "widgets/LedLamp.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSlider>

class TestPanels : public QObject {
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
        QCOMPARE(f->monitorWindow()->LastLine(), QStringLiteral("- SWRmin: 17"));
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

    void labelsWhole_data() {
        QTest::addColumn<QString>("window");
        for (const char *name :
             {"Form1", "Form2", "Form3", "Fatu1", "FALARM_HP", "FAlarm_ip", "FALARM_SWR",
              "Falarm_bpf", "Falarm_temp", "FALARM_TOT", "FALARM_HPCONT"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void labelsWhole() {
        QFETCH(QString, window);
        // The readouts with the widest values the reports give them, the
        // service readouts revealed, both continuous-power figures.
        QVERIFY(f->connectPeer());
        Action(f->main, "N24kW1")->trigger();
        f->receive("TX: ON\r\nO: 2400\r\nP_max: 2400\r\nT: 88\r\nATU_FWD: 2400\r\n");
        f->main->Link.RevealServiceReadings();
        QWidget *top = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == window)
                top = w;
        QVERIFY(top);
        top->show();
        QVERIFY(QTest::qWaitForWindowExposed(top));
        auto check = [&] {
            const QList<QLabel *> labels = top->findChildren<QLabel *>();
            QVERIFY(!labels.isEmpty());
            for (QLabel *l : labels) {
                const QString what = window + QLatin1Char(' ') + l->objectName() +
                                     QStringLiteral(" \"") + l->text() + QLatin1Char('"');
                // Inside its box, and inside the window's client area.
                QVERIFY2(l->parentWidget()->rect().contains(l->geometry()), qPrintable(what));
                const QRect inTop(l->mapTo(top, QPoint(0, 0)), l->size());
                QVERIFY2(top->rect().contains(inTop), qPrintable(what));
                // The whole text fits the label.
                const QFontMetrics fm(l->font());
                for (const QString &line : l->text().split(QLatin1Char('\n')))
                    QVERIFY2(fm.horizontalAdvance(line) <= l->contentsRect().width(),
                             qPrintable(what));
                QVERIFY2(fm.tightBoundingRect(l->text()).height() <= l->contentsRect().height(),
                         qPrintable(what));
            }
        };
        check();
        if (window == QLatin1String("FALARM_HPCONT")) {
            Action(f->main, "N12kW1")->trigger();
            f->receive("ALARM: OFF\r\nALARM: HPCONT\r\n");
            check();
        }
    }

    void alarmFrames() {
        // Borderless, red, 396 x 198; each label as wide as its text, blanks included.
        int windows = 0;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *a = qobject_cast<AlarmWindow *>(top);
            if (!a)
                continue;
            ++windows;
            QCOMPARE(a->size(), QSize(396, 198));
            QVERIFY(a->windowFlags() & Qt::FramelessWindowHint);
            QCOMPARE(QColor(a->grab().toImage().pixel(2, 2)), QColor(Qt::red));
            for (QLabel *l : a->findChildren<QLabel *>())
                QVERIFY2(l->width() >= l->fontMetrics().horizontalAdvance(l->text()),
                         qPrintable(a->objectName() + l->text()));
        }
        QCOMPARE(windows, 7);
        QCOMPARE(f->windows->Alarm(AlarmKind::Tot)
                     ->findChild<QLabel *>(QStringLiteral("Label1"))
                     ->text(),
                 QStringLiteral("The transmission time "));
    }

    void alarmShownCentredOnce() {
        QVERIFY(f->connectPeer());
        AlarmWindow *a = f->windows->Alarm(AlarmKind::HpOut);
        for (const QPoint mainAt : {QPoint(140, 90), QPoint(300, 200)}) {
            f->main->move(mainAt);
            f->receive("ALARM: OFF\r\nALARM: HPOUT\r\n");
            QVERIFY(a->isVisible());
            const QPoint off = a->frameGeometry().center() - f->main->frameGeometry().center();
            QVERIFY(off.manhattanLength() <= 2);
        }
        // A repeat does not re-centre it; it takes no input.
        a->move(a->pos() + QPoint(30, 20));
        const QPoint where = a->pos();
        f->receive("ALARM: HPOUT\r\n");
        QCOMPARE(a->pos(), where);
        const int lines = f->monitorWindow()->LineCount();
        QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::keyClick(a, Qt::Key_Escape);
        QVERIFY(a->isVisible());
        QCOMPARE(f->monitorWindow()->LineCount(), lines);
    }

    void allClearOrder() {
        QVERIFY(f->connectPeer());
        f->receive("ALARM: TOT\r\nALARM: HPCONT\r\nALARM: TEMP\r\nALARM: SWR\r\nALARM: BPF\r\n"
                   "ALARM: HPIN\r\nALARM: HPOUT\r\n");
        struct HideRecorder : QObject {
            QStringList order;
            bool eventFilter(QObject *o, QEvent *e) override {
                if (e->type() == QEvent::Hide)
                    order << o->objectName();
                return false;
            }
        } rec;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (qobject_cast<AlarmWindow *>(top))
                top->installEventFilter(&rec);
        f->receive("ALARM: OFF\r\n");
        QCOMPARE(rec.order.join(QLatin1Char(',')),
                 QStringLiteral("FALARM_HP,FAlarm_ip,Falarm_bpf,FALARM_SWR,Falarm_temp,"
                                "FALARM_HPCONT,FALARM_TOT"));
    }

    void hpcontFigureChosenAtShowing() {
        QVERIFY(f->connectPeer());
        QLabel *figure =
            f->windows->Alarm(AlarmKind::HpCont)->findChild<QLabel *>(QStringLiteral("Label2"));
        Action(f->main, "N24kW1")->trigger();
        f->receive("ALARM: HPCONT\r\n");
        QCOMPARE(figure->text(), QStringLiteral("   1.2 kW!"));
        QVERIFY(figure->width() >= figure->fontMetrics().horizontalAdvance(figure->text()));
        // A change of PA type while it shows does not alter it, until the next showing.
        Action(f->main, "N12kW1")->trigger();
        f->receive("ALARM: HPCONT\r\n");
        QCOMPARE(figure->text(), QStringLiteral("   1.2 kW!"));
        f->receive("ALARM: OFF\r\nALARM: HPCONT\r\n");
        QCOMPARE(figure->text(), QStringLiteral("600 Watts!"));
    }

    void alarmsSurviveCloseLossAndReconnect() {
        QVERIFY(f->connectPeer());
        f->receive("ALARM: BPF\r\n");
        AlarmWindow *a = f->windows->Alarm(AlarmKind::Bpf);
        f->main->Link.Close();
        QVERIFY(a->isVisible());
        QVERIFY(f->open(f->peer.devicePath()));
        f->peer.write("PA_QZ9QZ\r\n");
        QTRY_VERIFY(f->main->Link.State().IsConnected());
        QVERIFY(a->isVisible());
        f->peer.closeMaster(); // the port is lost
        QTRY_VERIFY(!f->main->Link.Port()->Connected());
        QVERIFY(a->isVisible());
        f->receive("ALARM: OFF\r\n");
        QVERIFY(!a->isVisible());
    }

    void closingOnlyHides() {
        // The ATU panel and the monitor stay alive; an alarm window closed by the
        // window manager counts as hidden and shows again on its next alarm.
        QVERIFY(f->connectPeer());
        f->receive("ALARM: TOT\r\n");
        for (QWidget *w :
             {static_cast<QWidget *>(f->windows->Atu()), static_cast<QWidget *>(f->monitorWindow()),
              static_cast<QWidget *>(f->windows->Alarm(AlarmKind::Tot))}) {
            QPointer<QWidget> guard(w);
            w->show();
            QVERIFY(w->close());
            QVERIFY(guard && w->isHidden());
        }
        f->receive("ALARM: TOT\r\n");
        QVERIFY(f->windows->Alarm(AlarmKind::Tot)->isVisible());
    }

    void calibration() {
        const CalibrationWindow *cal = f->windows->Calibration();
        auto *slider = Child<QSlider>(cal, QStringLiteral("TrackBar1"));
        auto button = [cal](const char *name) {
            return Child<QPushButton>(cal, QLatin1String(name));
        };
        // {start, right arrow, expected}: the arrows step within 0..255.
        const int steps[][3] = {{0, 0, 0}, {0, 1, 1}, {128, 0, 127}, {255, 1, 255}, {255, 0, 254}};
        for (const auto &s : steps) {
            slider->setValue(s[0]);
            button(s[1] ? "Button2" : "Button1")->click();
            QCOMPARE(slider->value(), s[2]);
        }
        // The power buttons do nothing.
        button("Button3")->click();
        button("Button4")->click();
        QCOMPARE(slider->value(), 254);
        QCOMPARE(f->monitorWindow()->LineCount(), 0);
        QVERIFY(f->boxes.isEmpty());
    }

private:
    // The amplifier reports the band (the link must be identified).
    void selectBand(int band) { f->receive("B: " + QByteArray::number(band) + "\r\n"); }
    std::unique_ptr<PanelFixture> f;
};

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
