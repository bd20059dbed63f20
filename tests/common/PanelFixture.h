// End-to-end fixture: the simulated amplifier as a process on its own
// pseudo-terminal, and the panel's windows in the test process, talking to
// it through the real serial code. Message boxes are recorded, not shown.
#pragma once

#include "SimProcess.h"
#include "app/Runtime.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "service/Unit2.h"
#include "widgets/ColorButton.h"

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class PanelFixture {
public:
    PanelFixture() {
        Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { boxes.append(c); });
    }
    ~PanelFixture() {
        windows.reset();
        sim.stop();
        Runtime::SetMessageHandler(nullptr);
        Runtime::SetExeDir(QString());
    }
    PanelFixture(const PanelFixture &) = delete;
    PanelFixture &operator=(const PanelFixture &) = delete;

    // Starts the simulator with args and creates the windows with the
    // simulator's device named in the configuration file. With
    // driveTimers, the handshake and poll timers are made inert so that the
    // test calls their handlers itself.
    bool start(const QStringList &args = {}, bool driveTimers = true) {
        // The simulator keeps a link to its device, also across a replug.
        link = dir.filePath(QStringLiteral("amplifier"));
        if (!dir.isValid() || !sim.start(QStringList{QStringLiteral("--link"), link} + args))
            return false;
        Runtime::SetExeDir(dir.path());
        QFile ini(dir.filePath(QStringLiteral("Orvik_control.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.write("[Configuration]\r\nPort=" + link.toLocal8Bit() + "\r\n");
        ini.close();
        windows = std::make_unique<TWindowSet>();
        form = windows->windows().Form1;
        if (driveTimers) {
            form->Timer1->setInterval(24 * 3600 * 1000);
            form->Timer2->setInterval(24 * 3600 * 1000);
        }
        return form->ComboBox1->currentText() == link;
    }

    // Open Port, then wait for the identification.
    bool connect(int timeoutMs = 3000) {
        form->openportclick();
        return QTest::qWaitFor([this] { return form->IsConnected(); }, timeoutMs);
    }

    QStringList monitor() const { return windows->windows().Form2->Lines(); }
    int monitorCount(const QString &entry) const { return int(monitor().count(entry)); }

    QTemporaryDir dir;
    QString link;
    SimProcess sim;
    std::unique_ptr<TWindowSet> windows;
    TForm1 *form = nullptr;
    QList<Runtime::MessageBoxCall> boxes;
};
