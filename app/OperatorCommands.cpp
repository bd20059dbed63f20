// SPDX-License-Identifier: GPL-3.0-or-later
// Each command calls the link, which changes its state first, then sends its
// line and echoes it; a send on a closed port raises, so the echo and
// anything after it do not happen. On the band row and the output bar the
// arrow keys only move the choice; a stroke of Enter or Space sends it, once,
// when the key is released. Every handler runs guarded: an exception that
// escapes it (a send on a closed port) is shown in the standard error box
// instead of ending the program.
#include "app/OperatorCommands.h"

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

OperatorCommands::OperatorCommands(MainWindow &mainWindow, AmpLink &ampLink)
    : QObject(&mainWindow), window(mainWindow), link(ampLink) {
    const MainWindowControls &c = window.Controls();
    auto guard = [](auto handler) { return [handler](auto &&...) { Runtime::Guarded(handler); }; };
    auto onTrigger = [this, guard](QAction *item, auto handler) {
        connect(item, &QAction::triggered, this, guard(handler));
    };

    // ---- The port list and the connection -------------------------------
    c.openPortButton->onclick = guard([this] { window.OpenSelectedPort(); });
    c.closePortButton->onclick = guard([this] { link.Close(); });
    QComboBox *portList = c.portList;
    connect(portList, &QWidget::customContextMenuRequested, this,
            [portList, menu = c.portListMenu](const QPoint &pos) {
                menu->popup(portList->mapToGlobal(pos));
            });
    onTrigger(c.refreshAction, [this] { window.RefillPortList(true); });
    // A double click on the port list, closed or dropped down, refills it
    // with no entry selected. The list is closed first so that the click
    // cannot select an entry.
    auto *dblClick = new TDblClickHook(portList);
    dblClick->OnDblClick = guard([this, portList] {
        if (!portList->isEnabled())
            return;
        portList->hidePopup();
        window.RefillPortList(false);
    });
    dblClick->Watch(portList);
    dblClick->Watch(portList->view());
    dblClick->Watch(portList->view()->viewport());

    // ---- Band circles -----------------------------------------------------
    for (int i = 0; i < int(c.bandCircles.size()); ++i) {
        TShape *circle = c.bandCircles[std::size_t(i)];
        circle->OnMouseDown = guard([this, i] { RequestBand(i + 1, Origin::Panel); });
        circle->OnActivate = guard([this, i] { RequestBand(i + 1, Origin::Keyboard); });
        circle->OnMouseMove = guard([this, i] { window.HighlightBand(i + 1); });
        circle->OnKeyDown = [this, i](int key) { return MoveBandFocus(i + 1, key); };
    }
    c.bandBox->OnMouseMove = guard([this] { window.ClearBandHighlight(); });

    // ---- Setting menus: item n sends n --------------------------------------
    auto onItems = [&](const auto &items, void (AmpLink::*set)(int)) {
        for (int n = 1; n <= int(items.size()); ++n)
            onTrigger(items[std::size_t(n - 1)], [this, set, n] { (link.*set)(n); });
    };
    onItems(c.fanItems, &AmpLink::SetFan);
    onItems(c.interfaceItems, &AmpLink::SelectInterface);
    onItems(c.alarmSoundItems, &AmpLink::SetAlarmSound);
    onItems(c.barSpeedItems, &AmpLink::SetBarSpeed);
    onItems(c.totItems, &AmpLink::SetTot);
    onTrigger(c.pa12kWAction, [this] { link.SetPaType(PaType::Kw12); });
    onTrigger(c.pa24kWAction, [this] { link.SetPaType(PaType::Kw24); });

    // ---- PTT block and the ALC level ----------------------------------------
    // The block's caption and colour change only when the amplifier
    // confirms; until then the poll re-sends the pending command.
    c.pttBlockButton->OnClick = guard([this] { link.TogglePttBlock(); });
    TBarMeter *meter = c.outputMeter;
    meter->OnMouseDown = [this, meter](QObject *, Qt::MouseButton, Qt::KeyboardModifiers, int x,
                                       int) {
        // The arrows go on from the level pressed, not from an older choice.
        meter->SetSelection(-1);
        Runtime::Guarded([this, x] { RequestOutputLevel(x, Origin::Panel); });
    };
    meter->OnKeyDown = [this](QObject *, int key, Qt::KeyboardModifiers) {
        return MoveOutputSelection(key);
    };
    meter->OnActivate = [this, meter](QObject *) {
        const int x = meter->Selection();
        if (x >= 0)
            Runtime::Guarded([this, x] { RequestOutputLevel(x, Origin::Keyboard); });
    };

    // ---- File and About -----------------------------------------------------
    onTrigger(c.portMonitorAction, [this] { Q_EMIT window.PortMonitorAsked(); });
    onTrigger(c.atuPanelAction, [this] { Q_EMIT window.AtuPanelAsked(); });
    onTrigger(c.historyAction, [this] { Q_EMIT window.HistoryAsked(); });
    onTrigger(c.networkPortAction, [this] { window.AskForNetworkPort(); });
    connect(c.autoReconnectAction, &QAction::triggered, this,
            [this](bool on) { Runtime::Guarded([this, on] { window.SetAutoReconnect(on); }); });
    onTrigger(c.exitAction, [this] { Exit(); });
    onTrigger(c.aboutAction, [this] { ShowAbout(); });
}

// ---- Band circles ------------------------------------------------------------

namespace {
CommandSource SourceOf(bool keyboard) {
    return CommandSource::Of(keyboard ? CommandSource::Kind::Keyboard : CommandSource::Kind::Panel);
}
} // namespace

void OperatorCommands::RequestBand(int band, Origin origin) {
    // The link's gate decides: a band change from the keyboard waits for
    // its turn and is refused while the amplifier transmits.
    const CommandOutcome outcome = link.Submit([&] {
        Command c;
        c.kind = Command::Kind::Band;
        c.value = band;
        c.source = SourceOf(origin == Origin::Keyboard);
        return c;
    }());
    if (outcome.result == CommandOutcome::Result::Refused && origin == Origin::Keyboard)
        window.Announce(QStringLiteral("Band not changed: ") + outcome.reason);
}

bool OperatorCommands::MoveBandFocus(int n, int key) {
    int step = 0;
    if (key == Qt::Key_Left || key == Qt::Key_Up)
        step = -1;
    else if (key == Qt::Key_Right || key == Qt::Key_Down)
        step = 1;
    else
        return false;
    const auto &circles = window.Controls().bandCircles;
    const int count = int(circles.size());
    for (int k = 1; k < count; ++k) {
        TShape *circle = circles[std::size_t(((n - 1 + step * k) % count + count) % count)];
        if (circle->isEnabled()) {
            circle->setFocus(Qt::TabFocusReason);
            break;
        }
    }
    return true;
}

// ---- ALC level -------------------------------------------------------------------

bool OperatorCommands::RequestOutputLevel(int x, Origin origin) {
    // Only a level that went out is told (not one refused for calibration);
    // a press shows itself where the mark moves.
    const bool sent = window.PressOutputLevel(x, SourceOf(origin == Origin::Keyboard));
    if (sent && origin == Origin::Keyboard)
        window.Announce(
            QStringLiteral("Output level %1 percent").arg(AlcStepOf(x) * 100 / AlcSteps));
    return sent;
}

bool OperatorCommands::MoveOutputSelection(int key) {
    // From the step the selection, else the level mark, points nearest to.
    TBarMeter *meter = window.Controls().outputMeter;
    const int from = meter->Selection();
    const int current = AlcStepOf(from >= 0 ? from : window.OutputLevelMark().value_or(0));
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
    meter->SetSelection(x);
    window.Announce(QStringLiteral("Output level %1 percent chosen, Enter sets it")
                        .arg(AlcStepOf(x) * 100 / AlcSteps));
    return true;
}

// ---- File and About ----------------------------------------------------------------

void OperatorCommands::Exit() {
    // Closing an open port runs the port-lost handler first, so the operator
    // sees the disconnection before the program ends.
    link.ClosePort();
    QApplication::quit();
}

void OperatorCommands::ShowAbout() {
    Runtime::ShowMessage(MainWindow::AboutText(), QStringLiteral("About..."),
                         Runtime::MsgIcon::Information, &window);
}
