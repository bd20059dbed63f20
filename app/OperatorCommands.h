// SPDX-License-Identifier: GPL-3.0-or-later
// The operator's commands from the main window: the port list and the
// connection buttons, band circles, setting menus, PA type, PTT block, ALC
// level and the File and About items. It hooks the main window's controls
// and calls the link and the window's public members; the window knows
// nothing of it. The window set creates it after the main window, as the
// window's child, so it lives as long as the controls it hooks.
#pragma once

#include <QObject>

class AmpLink;
class MainWindow;

class OperatorCommands : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OperatorCommands)
public:
    OperatorCommands(MainWindow &mainWindow, AmpLink &ampLink);

private:
    // Where a command came from: a press or click on the panel, or the
    // keyboard (a stroke of Enter or Space on the chosen control).
    enum class Origin { Panel, Keyboard };

    // Every band change the operator asks for, from a press on a circle or
    // the keyboard.
    void RequestBand(int band, Origin origin);
    // Every output level the operator asks for, as a press at X on the
    // output bar (full level at X 333); whether it went out.
    bool RequestOutputLevel(int x, Origin origin);
    // Keyboard on the band circles: the arrow keys move the focus to the
    // next enabled circle that way round; Enter or Space on it sends.
    bool MoveBandFocus(int n, int key);
    // Keyboard on the output bar: the arrow keys move the bar's selection
    // by 5 % of the full level, Page Up and Down by 25 %, Home and End to
    // the ends; Enter or Space sends the level there, as a press at that X.
    bool MoveOutputSelection(int key);
    void Exit();
    void ShowAbout();

    MainWindow &window;
    AmpLink &link;
};
