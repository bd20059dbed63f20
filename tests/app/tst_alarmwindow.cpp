// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm windows: one per alarm report, each laid out from its row of
// the table, shown over the main window, hidden by the all-clear in its
// order, the continuous-power figure chosen as the window shows.
#include "tests/common/PanelFixture.h"

#include <QTest>

class TestAlarmWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        f = std::make_unique<PanelFixture>(true);
        QVERIFY(f->connectPeer());
    }
    void cleanup() { f.reset(); }

    void shownAndCleared() {
        AlarmWindow *all[AlarmKinds];
        for (int k = 0; k < AlarmKinds; ++k)
            all[k] = f->windows->Alarm(AlarmKind(k));
        const char *const lines[] = {"ALARM: HPOUT", "ALARM: HPIN", "ALARM: BPF",   "ALARM: SWR",
                                     "ALARM: TEMP",  "ALARM: TOT",  "ALARM: HPCONT"};
        for (int i = 0; i < 7; ++i) {
            f->mon.Memo1->clear();
            f->receive(QByteArray(lines[i]) + " 77\r\n");
            const QString alarm = QStringLiteral("+ ") + QLatin1String(lines[i]);
            QCOMPARE(f->monitor(), (QStringList{alarm + QStringLiteral(" 77"), alarm}));
            for (int j = 0; j < 7; ++j)
                QCOMPARE(all[j]->isVisible(), j <= i);
        }
        f->receive("alarm: OFF\r\nALARM: OTHER\r\n");
        for (AlarmWindow *a : all)
            QVERIFY(a->isVisible());
        // An alarm window the operator closed comes back with its alarm.
        all[3]->hide();
        f->receive("ALARM: SWR\r\n");
        QVERIFY(all[3]->isVisible());
        for (int twice = 0; twice < 2; ++twice) {
            f->mon.Memo1->clear();
            f->receive("ALARM: OFF\r\n");
            QCOMPARE(f->monitor(), Split("+ ALARM: OFF|+ ALARM: OFF"));
            for (AlarmWindow *a : all)
                QVERIFY(!a->isVisible());
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

private:
    std::unique_ptr<PanelFixture> f;
};

QTEST_MAIN(TestAlarmWindow)
#include "tst_alarmwindow.moc"
