// SPDX-License-Identifier: GPL-3.0-or-later
// Unplug and replug: the simulated amplifier's device vanishes and comes
// back, again and again. Each time the panel must end in its closed state
// (the one message box, "Open port", Close Port and the poll off, no port
// selected, the list usable) and connect again on Open Port. Every fifth
// cycle the device vanishes during the handshake instead.
//
// With "Reconnect automatically" the panel instead comes back by itself
// after each replug, with no message box.
//
// 50 cycles each; `tst_unplug --cycles 500` runs more.
#include "config/Settings.h"
#include "tests/common/PanelFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include "widgets/ColorButton.h"

namespace {
int g_cycles = 50;

// How many devices the simulator has opened so far (its log notes each).
int DevicesOpened(const SimProcess &sim) {
    int n = 0;
    for (const sim::LogRecord &r : sim.logRecords())
        n += r.kind == sim::LogKind::Note && r.bytes.startsWith("device ") ? 1 : 0;
    return n;
}

// What the operator does: refresh the list and pick the amplifier's link.
void SelectLink(PanelFixture &f) {
    Action(f.main, "Refresh1")->trigger();
    const int entry = f.ui.ComboBox1->findText(f.link);
    QVERIFY(entry >= 0);
    f.ui.ComboBox1->setCurrentIndex(entry);
}

int Entries(const char *dir) {
    return int(QDir(QString::fromLatin1(dir)).count()) - 2; // without . and ..
}
} // namespace

class TestUnplug : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cycles();
    void reconnectsByItself();
};

void TestUnplug::cycles() {
    PanelFixture f;
    QVERIFY2(f.start(), qPrintable(f.sim.errorString()));
    MainWindow *form = f.main;
    QVERIFY(f.connect());
    for (int cycle = 1; cycle <= g_cycles; ++cycle) {
        const bool duringHandshake = cycle % 5 == 0;
        if (duringHandshake) {
            f.sim.say("silent on");
            QTest::qWait(200); // the simulator reads its commands on its own time
            QVERIFY(form->Link.State().IsConnected());
            form->Link.Close();
            QTest::qWait(50);
            SelectLink(f);
            form->OpenSelectedPort();
            QVERIFY2(form->Link.State().IsConnecting(),
                     qPrintable(f.ui.openport->Caption() + QLatin1Char('|') +
                                (f.boxes.isEmpty() ? QString() : f.boxes.last().text)));
        }
        const int boxesBefore = int(f.boxes.size());
        f.sim.say("unplug");
        QTRY_COMPARE_WITH_TIMEOUT(int(f.boxes.size()), boxesBefore + 1, 5000);
        QCOMPARE(f.boxes.last().text, QStringLiteral("Disconnected from COM Port"));
        QCOMPARE(f.boxes.last().title, QStringLiteral("COM Port "));
        QCOMPARE(f.ui.openport->Caption(), QStringLiteral("Open port"));
        QVERIFY(f.ui.openport->isEnabled());
        QVERIFY(!f.ui.closeport->isEnabled());
        QVERIFY(f.ui.ComboBox1->isEnabled());
        QCOMPARE(f.ui.ComboBox1->currentIndex(), -1);
        QVERIFY(!form->Link.HandshakeTimer()->isActive());
        QVERIFY(!form->Link.PollTimer()->isActive());
        QVERIFY(!form->Link.Port()->Connected());

        if (duringHandshake)
            f.sim.say("silent off");
        const int devices = DevicesOpened(f.sim);
        f.sim.say("replug");
        // The link moves to the new device before the simulator notes it;
        // then the operator refreshes and picks it. (Until then the old
        // link may name another program's pseudo-terminal.)
        QTRY_COMPARE_WITH_TIMEOUT(DevicesOpened(f.sim), devices + 1, 5000);
        SelectLink(f);
        if (!f.connect()) {
            for (const sim::LogRecord &r : f.sim.logRecords())
                qInfo("%s %c %s", qPrintable(r.time.toString(QStringLiteral("ss.zzz"))),
                      char(r.kind), r.bytes.constData());
            QFAIL(qPrintable(QStringLiteral("cycle %1: no connection (%2)")
                                 .arg(cycle)
                                 .arg(f.boxes.isEmpty() ? QString() : f.boxes.last().text)));
        }
        QCOMPARE(f.boxes.size(), boxesBefore + 1);
    }
    // Still talking: a query answered after the last cycle.
    const int asked = int(f.sim.loggedLines().count("T?"));
    form->Link.SendTypedLine("T?");
    QVERIFY(f.sim.waitForLogged("T?", asked + 1, 3000));
}

void TestUnplug::reconnectsByItself() {
    PanelFixture f;
    // The menu item saves the setting in the user's file: a folder of the test's own.
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", f.dir.filePath(QStringLiteral("cfg")).toLocal8Bit());
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", configHome); });
    // The link's own timers run: the retries, the handshake and the poll.
    QVERIFY2(f.start({}, false), qPrintable(f.sim.errorString()));
    MainWindow *form = f.main;
    QVERIFY(f.connect());
    Action(form, "AutoReconnect1")->trigger();
    QVERIFY(Action(form, "AutoReconnect1")->isChecked());
    QVERIFY(Settings::Read(Settings::UserPath()).configuration.autoReconnect);
    const QString lostEntry = QStringLiteral("****** Port lost: %1, waiting for it").arg(f.link);
    int losses = 0;
    QObject::connect(&form->Link, &AmpLink::EntryLogged, form,
                     [&](const QString &e) { losses += e == lostEntry ? 1 : 0; });
    const int fds = Entries("/proc/self/fd");
    const int threads = Entries("/proc/self/task");
    for (int cycle = 1; cycle <= g_cycles; ++cycle) {
        f.sim.say("unplug");
        QTRY_VERIFY_WITH_TIMEOUT(form->Link.State().IsWaiting(), 5000);
        QCOMPARE(form->windowTitle(),
                 QStringLiteral("Orvik 1200 Remote Control - waiting for ") + f.link);
        QCOMPARE(f.ui.openport->Caption(), QStringLiteral("Waiting..."));
        QVERIFY(f.ui.closeport->isEnabled());
        f.sim.say("replug");
        QTRY_VERIFY_WITH_TIMEOUT(form->Link.State().IsConnected(), 5000);
        QCOMPARE(losses, cycle);
        QVERIFY(form->Link.PollTimer()->isActive()); // polling again
        QCOMPARE(form->windowTitle(), QStringLiteral("Orvik 1200 Remote Control"));
    }
    QCOMPARE(f.boxes.size(), 0);
    QTRY_COMPARE(Entries("/proc/self/fd"), fds);
    QTRY_COMPARE(Entries("/proc/self/task"), threads);
    // Still talking: a query answered after the last cycle.
    const int asked = int(f.sim.loggedLines().count("T?"));
    form->Link.SendTypedLine("T?");
    QVERIFY(f.sim.waitForLogged("T?", asked + 1, 3000));
    // Close Port while waiting stops the retries and leaves the port closed.
    f.sim.say("unplug");
    QTRY_VERIFY_WITH_TIMEOUT(form->Link.State().IsWaiting(), 5000);
    form->Link.Close();
    f.sim.say("replug");
    // The device is back; a retry now would find it.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(f.link), 5000);
    QVERIFY(!form->Link.ReconnectTimer()->isActive());
    form->Link.ReconnectTick();
    QCOMPARE(f.ui.openport->Caption(), QStringLiteral("Open port"));
    QVERIFY(!form->Link.Port()->Connected());
    QCOMPARE(f.boxes.size(), 0);
}

int main(int argc, char **argv) {
    QList<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (qstrcmp(argv[i], "--cycles") == 0 && i + 1 < argc)
            g_cycles = QByteArray(argv[++i]).toInt();
        else
            args.append(argv[i]);
    }
    // A long run outlasts the test framework's default limit per function.
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number((qint64(g_cycles) * 4 + 300) * 1000));
    int n = int(args.size());
    QApplication app(n, args.data());
    TestUnplug test;
    return QTest::qExec(&test, n, args.data());
}

#include "tst_unplug.moc"
