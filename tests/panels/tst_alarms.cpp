// The seven alarm windows: their frames and texts, showing and hiding by
// the dispatcher, the continuous-power figure, and their survival across
// Close Port, the loss of the port and a new connection.
#include "PanelFixture.h"

#include "app/Alarms.h"

#include <QAction>
#include <QLabel>
#include <QPointer>

namespace {
// Records the order in which watched windows are hidden.
class HideRecorder : public QObject {
public:
    QStringList order;
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::Hide)
            order << o->objectName();
        return false;
    }
};
} // namespace

class TestAlarms : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void hpcontFigure_data();
    void hpcontFigure();
    void frames_data();
    void frames();
    void shownCentredOverMainWindow();
    void repeatChangesNothing();
    void allClearOrder();
    void hpcontFigureChosenAtShowing();
    void beforeIdentificationOnlyLogged();
    void surviveCloseLossAndReconnect();
    void windowManagerCloseCountsAsHidden();
    void clickChangesNothing();

private:
    TAlarmForm *window(const QString &name) const;
    std::unique_ptr<PanelFixture> f;
};

void TestAlarms::init() {
    f = std::make_unique<PanelFixture>();
}
void TestAlarms::cleanup() {
    f.reset();
}

TAlarmForm *TestAlarms::window(const QString &name) const {
    const TWindows &w = *f->w;
    for (TAlarmForm *a :
         std::initializer_list<TAlarmForm *>{w.FALARM_HP, w.FAlarm_ip, w.FALARM_SWR, w.Falarm_bpf,
                                             w.Falarm_temp, w.FALARM_TOT, w.FALARM_HPCONT})
        if (a->objectName() == name)
            return a;
    return nullptr;
}

void TestAlarms::hpcontFigure_data() {
    QTest::addColumn<bool>("pa12kW");
    QTest::addColumn<QString>("figure");
    QTest::newRow("1 kW or 1.2 kW") << true << QStringLiteral("600 Watts!");
    QTest::newRow("2.4 kW") << false << QStringLiteral("   1.2 kW!");
}

void TestAlarms::hpcontFigure() {
    QFETCH(bool, pa12kW);
    QFETCH(QString, figure);
    QCOMPARE(HpcontFigure(pa12kW), figure);
}

void TestAlarms::frames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("labels"); // "Name|text|x|y"
    QTest::newRow("HP") << QStringLiteral("FALARM_HP")
                        << QStringLiteral("ALARM - HIGH OUTPUT POWER")
                        << QStringList{QStringLiteral("Label1|Output Power|80|40"),
                                       QStringLiteral("Label2|is too HIGH!|96|104")};
    QTest::newRow("ip") << QStringLiteral("FAlarm_ip") << QStringLiteral("ALARM - HIGH INPUT POWER")
                        << QStringList{QStringLiteral("Label1|Input Power|104|40"),
                                       QStringLiteral("Label2|is too HIGH!|96|104")};
    QTest::newRow("SWR") << QStringLiteral("FALARM_SWR")
                         << QStringLiteral("ALARM - HIGH REVERSE POWER")
                         << QStringList{QStringLiteral("Label1|Reverse Power|64|40"),
                                        QStringLiteral("Label2|is too HIGH!|80|104")};
    QTest::newRow("bpf") << QStringLiteral("Falarm_bpf") << QStringLiteral("ALARM - BPF failure")
                         << QStringList{QStringLiteral("Label1|Band Pass Filter|56|40"),
                                        QStringLiteral("Label2|Failure !|128|104")};
    QTest::newRow("temp") << QStringLiteral("Falarm_temp") << QStringLiteral("Alarm - Temperature")
                          << QStringList{QStringLiteral("Label1|Temperature|88|40"),
                                         QStringLiteral("Label2|is too HIGH !|88|104")};
    QTest::newRow("TOT") << QStringLiteral("FALARM_TOT")
                         << QStringLiteral("ALARM - TIME OF TRANSMIT")
                         << QStringList{QStringLiteral("Label1|The transmission time |8|40"),
                                        QStringLiteral("Label3|has been exceeded!|24|88")};
    QTest::newRow("HPCONT") << QStringLiteral("FALARM_HPCONT")
                            << QStringLiteral("ALARM - Continoues Power")
                            << QStringList{QStringLiteral("Label1|Continuous Output|40|24"),
                                           QStringLiteral("Label3|Power Exceeds|56|72"),
                                           QStringLiteral("Label2|600 Watts!|96|120")};
}

void TestAlarms::frames() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QStringList, labels);
    TAlarmForm *a = window(name);
    QVERIFY(a);
    QCOMPARE(a->windowTitle(), caption);
    QVERIFY(a->isHidden());
    QCOMPARE(a->size(), QSize(396, 198));
    QVERIFY(a->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!a->testAttribute(Qt::WA_QuitOnClose));
    const QImage shot = a->grab().toImage();
    QCOMPARE(QColor(shot.pixel(2, 2)), QColor(Qt::red));
    QCOMPARE(a->findChildren<QLabel *>().size(), labels.size());
    for (const QString &row : labels) {
        const QStringList p = row.split(QLatin1Char('|'));
        auto *l = a->findChild<QLabel *>(p[0]);
        QVERIFY2(l, qPrintable(p[0]));
        QCOMPARE(l->text(), p[1]);
        QCOMPARE(l->pos(), QPoint(p[2].toInt(), p[3].toInt()));
        QCOMPARE(l->font().pixelSize(), 40);
        // As wide as its text, blanks included.
        QVERIFY(l->width() >= l->fontMetrics().horizontalAdvance(p[1]));
        QVERIFY(l->width() <= l->fontMetrics().horizontalAdvance(p[1]) + 8);
    }
}

void TestAlarms::shownCentredOverMainWindow() {
    QVERIFY(f->connectPeer());
    f->w->Form1->move(140, 90);
    f->receive("ALARM: HPOUT\r\n");
    TAlarmForm *a = f->w->FALARM_HP;
    QVERIFY(a->isVisible());
    const QPoint mainCentre = f->w->Form1->frameGeometry().center();
    QVERIFY((a->frameGeometry().center() - mainCentre).manhattanLength() <= 2);
    // Centred again at the next showing, wherever the main window went.
    f->receive("ALARM: OFF\r\n");
    f->w->Form1->move(300, 200);
    f->receive("ALARM: HPOUT\r\n");
    QVERIFY(
        (a->frameGeometry().center() - f->w->Form1->frameGeometry().center()).manhattanLength() <=
        2);
}

void TestAlarms::repeatChangesNothing() {
    QVERIFY(f->connectPeer());
    f->receive("ALARM: SWR\r\n");
    TAlarmForm *a = f->w->FALARM_SWR;
    QVERIFY(a->isVisible());
    a->move(a->pos() + QPoint(30, 20)); // not re-centred by a repeat
    const QPoint where = a->pos();
    f->receive("ALARM: SWR\r\n");
    QVERIFY(a->isVisible());
    QCOMPARE(a->pos(), where);
}

void TestAlarms::allClearOrder() {
    QVERIFY(f->connectPeer());
    f->receive("ALARM: TOT\r\nALARM: HPCONT\r\nALARM: TEMP\r\nALARM: SWR\r\nALARM: BPF\r\n"
               "ALARM: HPIN\r\nALARM: HPOUT\r\n");
    HideRecorder rec;
    const TWindows &w = *f->w;
    for (QWidget *a :
         std::initializer_list<QWidget *>{w.FALARM_HP, w.FAlarm_ip, w.FALARM_SWR, w.Falarm_bpf,
                                          w.Falarm_temp, w.FALARM_TOT, w.FALARM_HPCONT}) {
        QVERIFY(a->isVisible());
        a->installEventFilter(&rec);
    }
    f->receive("ALARM: OFF\r\n");
    QCOMPARE(rec.order, (QStringList{QStringLiteral("FALARM_HP"), QStringLiteral("FAlarm_ip"),
                                     QStringLiteral("Falarm_bpf"), QStringLiteral("FALARM_SWR"),
                                     QStringLiteral("Falarm_temp"), QStringLiteral("FALARM_HPCONT"),
                                     QStringLiteral("FALARM_TOT")}));
}

void TestAlarms::hpcontFigureChosenAtShowing() {
    QVERIFY(f->connectPeer());
    TFALARM_HPCONT *a = f->w->FALARM_HPCONT;
    f->w->Form1->N24kW1->setChecked(true);
    f->receive("ALARM: HPCONT\r\n");
    QCOMPARE(a->Label2->text(), QStringLiteral("   1.2 kW!"));
    QVERIFY(a->Label2->width() >= a->Label2->fontMetrics().horizontalAdvance(a->Label2->text()));
    // A change of PA type while it shows does not alter it...
    f->w->Form1->N12kW1->setChecked(true);
    f->receive("ALARM: HPCONT\r\n");
    QCOMPARE(a->Label2->text(), QStringLiteral("   1.2 kW!"));
    // ...until the next showing.
    f->receive("ALARM: OFF\r\nALARM: HPCONT\r\n");
    QCOMPARE(a->Label2->text(), QStringLiteral("600 Watts!"));
}

void TestAlarms::beforeIdentificationOnlyLogged() {
    QVERIFY(f->open(f->peer.devicePath()));
    f->peer.read(200);
    f->receive("ALARM: SWR\r\n");
    QVERIFY(!f->w->FALARM_SWR->isVisible());
    QCOMPARE(f->count(QStringLiteral("+ ALARM: SWR")), 1); // the received line only
}

void TestAlarms::surviveCloseLossAndReconnect() {
    QVERIFY(f->connectPeer());
    f->receive("ALARM: BPF\r\n");
    TAlarmForm *a = f->w->Falarm_bpf;
    QVERIFY(a->isVisible());
    f->w->Form1->closeportclick();
    QVERIFY(a->isVisible());
    // A new connection, then the port is lost.
    QVERIFY(f->open(f->peer.devicePath()));
    f->peer.write("PA_QZ9QZ\r\n");
    QTRY_VERIFY(f->w->Form1->IsConnected());
    QVERIFY(a->isVisible());
    f->peer.closeMaster();
    QTRY_VERIFY(!f->w->Form1->SerialPort->Connected());
    QVERIFY(a->isVisible());
    // Only the all-clear takes it down.
    f->receive("ALARM: OFF\r\n");
    QVERIFY(!a->isVisible());
}

void TestAlarms::windowManagerCloseCountsAsHidden() {
    QVERIFY(f->connectPeer());
    f->receive("ALARM: TOT\r\n");
    QPointer<TAlarmForm> a(f->w->FALARM_TOT);
    QVERIFY(a->close());
    QVERIFY(a);
    QVERIFY(!a->isVisible());
    f->receive("ALARM: TOT\r\n");
    QVERIFY(a->isVisible());
}

void TestAlarms::clickChangesNothing() {
    QVERIFY(f->connectPeer());
    f->receive("ALARM: HPIN\r\n");
    TAlarmForm *a = f->w->FAlarm_ip;
    const int lines = f->w->Form2->LineCount();
    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseClick(f->w->FAlarm_ip->findChild<QLabel *>(QStringLiteral("Label1")),
                      Qt::LeftButton);
    QTest::keyClick(a, Qt::Key_Escape);
    QVERIFY(a->isVisible());
    QCOMPARE(f->peer.read(150), QByteArray());
    QCOMPARE(f->w->Form2->LineCount(), lines);
    QCOMPARE(a->focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
