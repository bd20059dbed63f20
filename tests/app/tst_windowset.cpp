// The window set: every window the program creates, with its title, its
// texts whole inside it, closing that only hides a secondary window, and the
// File menu's way to the port monitor and the ATU panel.
#include "tests/common/PanelFixture.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QWindow>

class TestWindowSet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { Runtime::SetUpApplication(*qApp); }
    void init() { f = std::make_unique<PanelFixture>(true); }
    void cleanup() { f.reset(); }

    void titles_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        const std::pair<const char *, const char *> rows[] = {
            {"Form1", "Orvik 1200 Remote Control"},
            {"Form2", "Port Monitor"},
            {"Form3", "Calibration"},
            {"FALARM_HP", "ALARM - HIGH OUTPUT POWER"},
            {"FAlarm_ip", "ALARM - HIGH INPUT POWER"},
            {"FALARM_SWR", "ALARM - HIGH REVERSE POWER"},
            {"Falarm_bpf", "ALARM - BPF failure"},
            {"Falarm_temp", "Alarm - Temperature"},
            {"FALARM_TOT", "ALARM - TIME OF TRANSMIT"},
            {"FALARM_HPCONT", "ALARM - Continoues Power"},
            {"Fatu1", "ATU Remote Control"}};
        for (const auto &[name, title] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(title);
    }

    void titles() {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Orvik Remote Control"));
        QWidget *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == name)
                window = w;
        QVERIFY(window);
        QCOMPARE(SystemTitle(window), title);
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

    void fileMenu() {
        const WindowSet &w = *f->windows;
        Action(f->main, "PortMonitor1")->trigger();
        QVERIFY(w.Monitor()->isVisible());
        // Disabled until the amplifier reports a tuner.
        Action(f->main, "ATUPanel1")->trigger();
        QVERIFY(w.Atu()->isHidden());
        Action(f->main, "ATUPanel1")->setEnabled(true);
        Action(f->main, "ATUPanel1")->trigger();
        QVERIFY(w.Atu()->isVisible());
    }

private:
    std::unique_ptr<PanelFixture> f;
};

QTEST_MAIN(TestWindowSet)
#include "tst_windowset.moc"
