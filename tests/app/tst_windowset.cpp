// SPDX-License-Identifier: GPL-3.0-or-later
// The window set: every window the program creates, with its title, closing
// that only hides a secondary window, and the File menu's way to the port
// monitor, the ATU panel and the History window (made when first asked for); the broker's state in
// the main window's title only when [MQTT] names one. (Their texts fit them: tst_fonts.)
#include "tests/common/PanelFixture.h"
#include "tests/common/Ser2net.h"

#include "historywindow/HistoryView.h"
#include "mqtt/MqttSettings.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

namespace {

// What this process has mapped, to see which libraries are loaded.
QByteArray ProcessMaps() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
}

} // namespace

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

    // The History window (with its plots) is made only when first asked
    // for; it then shows the file recorded into, naming the amplifier.
    void historyWhenAsked() {
        const auto historyWindows = [] {
            int n = 0;
            for (QWidget *top : QApplication::topLevelWidgets())
                n += top->objectName() == QStringLiteral("FormHistory");
            return n;
        };
        QVERIFY(f->connectPeer());
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("history.sqlite"));
        QCOMPARE(f->windows->StartHistory(file, 30), QString());
        QCOMPARE(historyWindows(), 0);
        // Without its module the menu item says so, and nothing breaks;
        // QCustomPlot is not loaded before the window is asked for.
        QTemporaryDir empty;
        WindowSet::SetHistoryModuleDir(empty.path());
        Action(f->main, "History1")->trigger();
        QCOMPARE(f->boxes.size(), 1);
        QVERIFY2(f->boxes[0].text.startsWith(QStringLiteral(
                     "The History window cannot be shown: orvik-history.so is not installed")),
                 qPrintable(f->boxes[0].text));
        f->boxes.clear();
        QCOMPARE(historyWindows(), 0);
        QVERIFY(!ProcessMaps().contains("QCustomPlot"));
        WindowSet::SetHistoryModuleDir(QStringLiteral(ORVIK_BUILD_DIR));
        Action(f->main, "History1")->trigger();
        QVERIFY(ProcessMaps().contains("QCustomPlot"));
        QCOMPARE(historyWindows(), 1);
        HistoryView *history = f->windows->History();
        QVERIFY(history && history->Widget()->isVisible());
        QCOMPARE(history->File(), file);
        QVERIFY2(
            history->Title().startsWith(QStringLiteral("Orvik 1200 on ") + f->peer.devicePath()),
            qPrintable(history->Title()));
        QCOMPARE(f->windows->Windows().last(), history->Widget());
    }

    // libmosquitto (and OpenSSL with it) is mapped only once a publisher
    // starts; before the other MQTT cases, which load it.
    void mqttLibraryWhenPublishing() {
        const auto mapped = [] { return ProcessMaps().contains("libmosquitto"); };
        QCOMPARE(f->windows->StartPublisher(mqtt::Settings{}), QString());
        QVERIFY(!mapped());
        mqtt::Settings settings;
        settings.broker = QStringLiteral("mqtt://127.0.0.1:%1").arg(Ser2net::FreePort());
        QCOMPARE(f->windows->StartPublisher(settings), QString());
        QVERIFY(mapped());
    }

    // A broker where nothing listens is tried again, a URL that cannot be
    // used is told in a box; the publisher's log goes to standard error.
    void brokerInTitle_data() {
        QTest::addColumn<QString>("broker");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("box");
        const QString title = QStringLiteral("Orvik 1200 Remote Control");
        QTest::newRow("no [MQTT]") << QString() << title << QString();
        QTest::newRow("nothing listens")
            << QStringLiteral("mqtt://127.0.0.1:%1").arg(Ser2net::FreePort())
            << title + QStringLiteral(" - MQTT: retrying (connection refused)") << QString();
        QTest::newRow("unusable URL")
            << QStringLiteral("tcp://pi") << title
            << QStringLiteral("MQTT: Broker=: unknown scheme \"tcp\": mqtt:// or mqtts://");
    }
    void brokerInTitle() {
        QFETCH(QString, broker);
        QFETCH(QString, title);
        QFETCH(QString, box);
        mqtt::Settings settings;
        settings.broker = broker;
        QCOMPARE(f->windows->StartPublisher(settings).isEmpty(), box.isEmpty());
        QCOMPARE(f->windows->Publisher() != nullptr, !broker.isEmpty()); // only when named
        QTRY_COMPARE(f->main->windowTitle(), title);
        QCOMPARE(f->boxes.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty())
            QVERIFY2(f->boxes.first().text.startsWith(box), qPrintable(f->boxes.first().text));
    }

private:
    std::unique_ptr<PanelFixture> f;
};

QTEST_MAIN(TestWindowSet)
#include "tst_windowset.moc"
