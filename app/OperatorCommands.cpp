// SPDX-License-Identifier: GPL-3.0-or-later
// The operator's commands from the main window: the port list and the
// connection buttons, band circles, setting menus, PA type, PTT block, ALC
// level and the File and About items. Each one calls the link, which changes
// its state first, then sends its line and echoes it; a send on a closed port
// raises, so the echo and anything after it do not happen. On the band row
// and the output bar the arrow keys only move the choice; a stroke of Enter
// or Space sends it, once, when the key is released. Every handler runs
// guarded: an exception that escapes it (a send on a closed port) is shown in
// the standard error box instead of ending the program.
#include "app/MainWindow.h"

#include "widgets/Accessible.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/Runtime.h"
#include "widgets/StdControls.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>

#include <algorithm>

namespace {
// The ALC level from the keyboard: twenty steps of 5 % between X 0 and the
// X of the full level (the level is CAL * X div 333).
constexpr int AlcFullX = 333;
constexpr int AlcSteps = 20;
int AlcStepOf(int x) {
    return (std::clamp(x, 0, AlcFullX) * AlcSteps + AlcFullX / 2) / AlcFullX;
}
int AlcXOf(int step) {
    return (std::clamp(step, 0, AlcSteps) * AlcFullX + AlcSteps / 2) / AlcSteps;
}
} // namespace

void MainWindow::ConnectCommands() {
    auto guard = [](auto handler) { return [handler](auto &&...) { Runtime::Guarded(handler); }; };
    auto onTrigger = [this, guard](QAction *item, auto handler) {
        connect(item, &QAction::triggered, this, guard(handler));
    };

    // ---- The port list and the connection -------------------------------
    openPortButton->onclick = guard([this] { OpenSelectedPort(); });
    openPortButton->onlatch = [this](QObject *) { OpenPortFollowsState(); };
    closePortButton->onclick = guard([this] { Link.Close(); });
    connect(portList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { portListMenu->popup(portList->mapToGlobal(pos)); });
    onTrigger(refreshAction, [this] {
        const QStringList ports = ListPorts();
        FillPortList(ports, ports.isEmpty() ? -1 : 0);
    });
    // A double click on the port list, closed or dropped down, refills it
    // with no entry selected. The list is closed first so that the click
    // cannot select an entry.
    auto *dblClick = new TDblClickHook(portList);
    dblClick->OnDblClick = guard([this] {
        if (!portList->isEnabled())
            return;
        portList->hidePopup();
        FillPortList(ListPorts(), -1);
    });
    dblClick->Watch(portList);
    dblClick->Watch(portList->view());
    dblClick->Watch(portList->view()->viewport());

    // ---- Band circles -----------------------------------------------------
    for (int i = 0; i < int(bandCircles.size()); ++i) {
        TShape *circle = bandCircles[std::size_t(i)];
        circle->OnMouseDown = guard([this, i] { RequestBand(i + 1, CommandOrigin::Panel); });
        circle->OnActivate = guard([this, i] { RequestBand(i + 1, CommandOrigin::Keyboard); });
        circle->OnMouseMove = guard([this, i] { HighlightBand(i + 1); });
        circle->OnKeyDown = [this, i](int key) { return MoveBandFocus(i + 1, key); };
    }
    bandBox->OnMouseMove = guard([this] { ClearBandHighlight(); });

    // ---- Setting menus: item n sends n --------------------------------------
    auto onItems = [&](const auto &items, void (AmpLink::*set)(int)) {
        for (int n = 1; n <= int(items.size()); ++n)
            onTrigger(items[std::size_t(n - 1)], [this, set, n] { (Link.*set)(n); });
    };
    onItems(fanItems, &AmpLink::SetFan);
    onItems(interfaceItems, &AmpLink::SelectInterface);
    onItems(alarmSoundItems, &AmpLink::SetAlarmSound);
    onItems(barSpeedItems, &AmpLink::SetBarSpeed);
    onItems(totItems, &AmpLink::SetTot);
    onTrigger(pa12kWAction, [this] { Link.SetPaType(PaType::Kw12); });
    onTrigger(pa24kWAction, [this] { Link.SetPaType(PaType::Kw24); });

    // ---- PTT block and the ALC level ----------------------------------------
    // The block's caption and colour change only when the amplifier
    // confirms; until then the poll re-sends the pending command.
    pttBlockButton->OnClick = guard([this] { Link.TogglePttBlock(); });
    outputMeter->OnMouseDown = [this](QObject *, Qt::MouseButton, Qt::KeyboardModifiers, int x,
                                      int) {
        // The arrows go on from the level pressed, not from an older choice.
        outputMeter->SetSelection(-1);
        Runtime::Guarded([this, x] { RequestOutputLevel(x, CommandOrigin::Panel); });
    };
    outputMeter->OnKeyDown = [this](QObject *, int key, Qt::KeyboardModifiers) {
        return MoveOutputSelection(key);
    };
    outputMeter->OnActivate = [this](QObject *) {
        const int x = outputMeter->Selection();
        if (x >= 0)
            Runtime::Guarded([this, x] { RequestOutputLevel(x, CommandOrigin::Keyboard); });
    };

    // ---- File and About -----------------------------------------------------
    onTrigger(portMonitorAction, [this] { Q_EMIT PortMonitorAsked(); });
    onTrigger(atuPanelAction, [this] { Q_EMIT AtuPanelAsked(); });
    onTrigger(historyAction, [this] { Q_EMIT HistoryAsked(); });
    onTrigger(networkPortAction, [this] { AskForNetworkPort(); });
    connect(autoReconnectAction, &QAction::triggered, this,
            [this](bool on) { Runtime::Guarded([this, on] { SetAutoReconnect(on); }); });
    onTrigger(exitAction, [this] { Exit(); });
    onTrigger(aboutAction, [this] { ShowAbout(); });
}

// ---- Band circles ------------------------------------------------------------

namespace {
CommandSource SourceOf(CommandOrigin origin) {
    return CommandSource::Of(origin == CommandOrigin::Keyboard ? CommandSource::Kind::Keyboard
                                                               : CommandSource::Kind::Panel);
}
} // namespace

void MainWindow::RequestBand(int band, CommandOrigin origin) {
    // The link's gate decides: a band change from the keyboard waits for
    // its turn and is refused while the amplifier transmits.
    const CommandOutcome outcome = Link.Submit([&] {
        Command c;
        c.kind = Command::Kind::Band;
        c.value = band;
        c.source = SourceOf(origin);
        return c;
    }());
    if (outcome.result == CommandOutcome::Result::Refused && origin == CommandOrigin::Keyboard)
        Announce(QStringLiteral("Band not changed: ") + outcome.reason);
}

void MainWindow::SetBandsEnabled(bool enabled) {
    for (TShape *circle : bandCircles)
        circle->setEnabled(enabled);
    for (QLabel *label : bandLabels)
        label->setEnabled(enabled);
}

void MainWindow::HighlightBand(int n) {
    if (n != Link.State().readings.band)
        bandCircles[std::size_t(n - 1)]->SetBrushColor(clYellow);
}

void MainWindow::ClearBandHighlight() {
    for (std::size_t i = 0; i < bandCircles.size(); ++i)
        if (int(i) + 1 != Link.State().readings.band)
            bandCircles[i]->SetBrushColor(clSilver);
}

bool MainWindow::MoveBandFocus(int n, int key) {
    int step = 0;
    if (key == Qt::Key_Left || key == Qt::Key_Up)
        step = -1;
    else if (key == Qt::Key_Right || key == Qt::Key_Down)
        step = 1;
    else
        return false;
    const int count = int(bandCircles.size());
    for (int k = 1; k < count; ++k) {
        TShape *circle = bandCircles[std::size_t(((n - 1 + step * k) % count + count) % count)];
        if (circle->isEnabled()) {
            circle->setFocus(Qt::TabFocusReason);
            break;
        }
    }
    return true;
}

// ---- ALC level -------------------------------------------------------------------

bool MainWindow::RequestOutputLevel(int x, CommandOrigin origin) {
    // Only a level that went out is told (not one refused for calibration);
    // a press shows itself where the mark moves.
    const bool sent = PressOutputLevel(x, SourceOf(origin));
    if (sent && origin == CommandOrigin::Keyboard)
        Announce(QStringLiteral("Output level %1 percent").arg(AlcStepOf(x) * 100 / AlcSteps));
    return sent;
}

bool MainWindow::MoveOutputSelection(int key) {
    // From the step the selection, else the level mark, points nearest to.
    const int from = outputMeter->Selection();
    const int current = AlcStepOf(from >= 0 ? from : shown.levelMark.value_or(0));
    int target = current;
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        target = current - 1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        target = current + 1;
        break;
    case Qt::Key_PageDown:
        target = current - 5;
        break;
    case Qt::Key_PageUp:
        target = current + 5;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = AlcSteps;
        break;
    default:
        return false;
    }
    const int x = AlcXOf(target);
    outputMeter->SetSelection(x);
    Announce(QStringLiteral("Output level %1 percent chosen, Enter sets it")
                 .arg(AlcStepOf(x) * 100 / AlcSteps));
    return true;
}

// ---- File and About ----------------------------------------------------------------

void MainWindow::Exit() {
    // Closing an open port runs the port-lost handler first, so the operator
    // sees the disconnection before the program ends.
    Link.ClosePort();
    QApplication::quit();
}

QString MainWindow::AboutText() {
    return QStringLiteral("Orvik Remote Control\n"
                          "Version 3.3\n\n"
                          "Remote control of the Orvik 1200 HF linear amplifier "
                          "(1 kW / 1.2 kW and 2.4 kW versions) and of its automatic "
                          "antenna tuner over a serial line.\n\n"
                          "Amplifier: Orvik 1200, made by Orvik.\n"
                          "Written by the Orvik Remote Control team.");
}

void MainWindow::ShowAbout() {
    Runtime::ShowMessage(AboutText(), QStringLiteral("About..."), Runtime::MsgIcon::Information,
                         this);
}
