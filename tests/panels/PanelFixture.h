// Shared set-up for the panel tests: the program's windows, message boxes
// captured instead of shown, real timers made inert, and a serial port open
// to a pseudo-terminal peer with the amplifier identified.
#pragma once

#include "app/Runtime.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "atu/atu1.h"
#include "service/Unit2.h"
#include "tests/common/PtyPeer.h"
#include "widgets/ColorButton.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class PanelFixture {
public:
    PanelFixture() {
        Runtime::SetExeDir(dir.path());
        Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { boxes.append(c); });
        set = std::make_unique<TWindowSet>();
        w = &set->windows();
        // Ticks are driven by the tests; the real timers must not interfere.
        atuTimerInterval = w->Fatu1->Timer1->interval();
        constexpr int Day = 24 * 3600 * 1000;
        w->Form1->Timer1->setInterval(Day);
        w->Form1->Timer2->setInterval(Day);
        w->Fatu1->Timer1->setInterval(Day);
    }
    ~PanelFixture() {
        set.reset();
        Runtime::SetMessageHandler(nullptr);
        Runtime::SetExeDir(QString());
    }
    PanelFixture(const PanelFixture &) = delete;
    PanelFixture &operator=(const PanelFixture &) = delete;

    // Opens the main window's port to `device`; returns false if it did not open.
    bool open(const QString &device) {
        QComboBox *box = w->Form1->ComboBox1;
        if (box->findText(device) < 0)
            box->addItem(device);
        box->setCurrentIndex(box->findText(device));
        w->Form1->openportclick();
        return w->Form1->SerialPort->Connected();
    }

    // Opens to the pty peer and identifies the amplifier by feeding the
    // dispatcher directly; the peer is drained of the start-up queries.
    bool connectPeer() {
        if (!peer.ok() || !open(peer.devicePath()))
            return false;
        peer.read(200);
        receive("PA_QZ9QZ\r\n");
        peer.read(300);
        return w->Form1->IsConnected();
    }

    // A chunk as the serial component hands it to the dispatcher.
    void receive(const QByteArray &chunk) {
        Runtime::Guarded([&] { w->Form1->SerialPortReceive(w->Form1->SerialPort, chunk); });
    }

    int count(const QString &entry) const { return int(w->Form2->Lines().count(entry)); }

    QTemporaryDir dir;
    PtyPeer peer;
    std::unique_ptr<TWindowSet> set;
    TWindows *w = nullptr;
    QList<Runtime::MessageBoxCall> boxes;
    int atuTimerInterval = 0; // as laid out, before the tests made it inert
};
