// SPDX-License-Identifier: GPL-3.0-or-later
// The program's windows over a real port, for tests and benchmarks: the
// settings file in a folder of its own, message boxes recorded instead of
// shown, and either a pseudo-terminal peer that the test plays the amplifier
// on, or the simulated amplifier as a process (orvik-sim).
#pragma once

#include "SimProcess.h"
#include "app/AlarmWindow.h"
#include "app/MainWindow.h"
#include "app/WindowSet.h"
#include "atu/AtuPanel.h"
#include "config/Settings.h"
#include "monitor/PortMonitor.h"
#include "service/CalibrationWindow.h"
#include "tests/common/DrivenTime.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/ReportTable.h"
#include "tests/common/WindowUi.h"
#include "widgets/Runtime.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

// A colour by the name the report tables use for it.
inline QString ColorWord(TColor c) {
    const std::pair<TColor, const char *> names[] = {
        {clLime, "clLime"},           {clSilver, "clSilver"},    {clYellow, "clYellow"},
        {clFuchsia, "clFuchsia"},     {clRed, "clRed"},          {clBtnFace, "clBtnFace"},
        {clLightGreen, "lightgreen"}, {clAlertPink, "alertpink"}};
    for (const auto &[value, name] : names)
        if (value == c)
            return QLatin1String(name);
    return QString::number(c, 16);
}

// The observable state of the windows that a report may change, by name.
using Probes = std::map<QString, std::function<QString()>>;

class PanelFixture {
public:
    // withWindows: the windows at once, with no port configured; otherwise
    // start() creates them once the simulator runs.
    explicit PanelFixture(bool withWindows = false) {
        Settings::SetProgramFolder(dir.path());
        Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { boxes.append(c); });
        if (withWindows)
            createWindows(true);
    }
    ~PanelFixture() {
        windows.reset();
        sim.stop();
        Runtime::SetMessageHandler(nullptr);
        Settings::SetProgramFolder(QString());
    }
    PanelFixture(const PanelFixture &) = delete;
    PanelFixture &operator=(const PanelFixture &) = delete;

    // Creates the windows. With driveTimers the link's timers are made inert,
    // so that the test calls their handlers itself.
    void createWindows(bool driveTimers) {
        WindowSet::SetHistoryModuleDir(QStringLiteral(ORVIK_BUILD_DIR));
        windows = std::make_unique<WindowSet>();
        main = windows->Main();
        ui = MainUi(main);
        atu = AtuUi(windows->Atu());
        mon = MonitorUi(windows->Monitor());
        AmpLink &link = windows->Link();
        atuTimerInterval = link.AtuTimer()->interval();
        if (driveTimers)
            DriveLinkTime(link);
    }

    // The windows configured for the pty peer, with driven time, the main
    // window shown.
    bool showOnPeer() {
        if (!peer.ok() || !configure(peer.devicePath()))
            return false;
        createWindows(true);
        main->show();
        return QTest::qWaitForWindowExposed(main);
    }

    // What reached the peer: writes are synchronous, so what was sent is in
    // the terminal already.
    QByteArray sent() { return peer.read(300, 15); }
    bool nothingSent() { return peer.read(40, 10).isEmpty(); }

    // Names port in the settings file that the windows read at start.
    bool configure(const QString &port) {
        QFile ini(dir.filePath(Settings::FileName));
        if (!dir.isValid() || !ini.open(QIODevice::WriteOnly))
            return false;
        ini.write("[Configuration]\r\nPort=" + port.toLocal8Bit() + "\r\n");
        return true;
    }

    // Starts the simulator with args and creates the windows with the
    // simulator's device named in the settings file.
    bool start(const QStringList &args = {}, bool driveTimers = true) {
        // The simulator keeps a link to its device, also across a replug.
        link = dir.filePath(QStringLiteral("amplifier"));
        if (!sim.start(QStringList{QStringLiteral("--link"), link} + args) || !configure(link))
            return false;
        createWindows(driveTimers);
        return ui.ComboBox1->currentText() == link;
    }

    // Open Port, then wait for the identification.
    bool connect(int timeoutMs = 3000) {
        main->OpenSelectedPort();
        return QTest::qWaitFor([this] { return main->Link.State().IsConnected(); }, timeoutMs);
    }

    // Opens the main window's port to `device`; returns false if it did not open.
    bool open(const QString &device) {
        QComboBox *box = ui.ComboBox1;
        if (box->findText(device) < 0)
            box->addItem(device);
        box->setCurrentIndex(box->findText(device));
        main->OpenSelectedPort();
        return main->Link.Port()->Connected();
    }

    // Opens to the pty peer and identifies the amplifier by feeding the
    // receive event directly; the peer is drained of the start-up queries.
    bool connectPeer() {
        if (!peer.ok() || !open(peer.devicePath()))
            return false;
        peer.read(200);
        receive("PA_QZ9QZ\r\n");
        peer.read(300);
        return main->Link.State().IsConnected();
    }

    // A chunk as the serial component hands it to the link.
    void receive(const QByteArray &chunk) {
        Runtime::Guarded([&] { main->Link.ReceiveChunk(chunk); });
    }

    // One row of a report table (ReportTable.h) against the windows,
    // identified over the peer: the lines fed first, each "@" item the
    // test's own step; the monitor emptied; the report fed; then its monitor
    // entries and each "probe=value" pair.
    void checkReport(const Probes &probes, const std::function<void(const QString &)> &step) {
        QFETCH(QString, before);
        QFETCH(QByteArray, line);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, state);
        for (const QString &b : before.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            if (b.startsWith(QLatin1Char('@')))
                step(b);
            else
                receive(b.toLatin1() + "\r\n");
        }
        mon.Memo1->clear();
        receive(line + "\r\n");
        QCOMPARE(monitor(), entries);
        for (const QString &pair : state) {
            const QString name = pair.section(QLatin1Char('='), 0, 0);
            QVERIFY2(probes.count(name), qPrintable(name));
            QCOMPARE(name + QLatin1Char('=') + probes.at(name)(), pair);
        }
        QVERIFY(boxes.isEmpty());
    }

    PortMonitor *monitorWindow() const { return windows->Monitor(); }
    QStringList monitor() const { return windows->Monitor()->Lines(); }
    int count(const QString &entry) const { return int(monitor().count(entry)); }

    QTemporaryDir dir;
    QString link; // the simulator's device link
    PtyPeer peer;
    SimProcess sim;
    std::unique_ptr<WindowSet> windows;
    MainWindow *main = nullptr;
    MainUi ui;
    AtuUi atu;
    MonitorUi mon;
    QList<Runtime::MessageBoxCall> boxes;
    int atuTimerInterval = 0; // as laid out, before the tests made it inert
};
