// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm windows: borderless red windows with large black text, one per
// alarm report, shown centred over the main window on the report and hidden
// by the all-clear. One class; the table Designs gives each alarm its layout
// name, title and lines. They take no input. A screen reader reads each as
// an alert whose name is its text.
#pragma once

#include "link/AmpStatus.h"

#include <QString>
#include <QWidget>

class QLabel;

class AlarmWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlarmWindow)
public:
    // One line of large text: its layout name, its text and where it stands.
    // A line without text shows the continuous-power limit of the PA type.
    struct Line {
        const char *name;
        const char *text;
        int x, y;
    };
    struct Design {
        AlarmKind kind;
        const char *name;  // the window's layout name ("FALARM_HP")
        const char *title; // as the window system shows it
        Line lines[3];     // a line without a name ends the list
    };
    // The seven windows in the order they are created.
    static const Design Designs[AlarmKinds];
    // The order the all-clear hides them in.
    static const AlarmKind ClearOrder[AlarmKinds];

    explicit AlarmWindow(const Design &design, QWidget *parent = nullptr);

    // Hidden -> visible: centred over `over` and kept above it, on top of
    // the alarm windows already showing, with the figure of paType; true.
    // Already visible: nothing happens; false.
    bool ShowAlarm(QWidget *over, PaType paType);
    // Visible -> hidden; a hidden window is left alone.
    void HideAlarm();
    // The window's text in one line: "Output Power is too HIGH!".
    QString AlarmText() const;

    // The continuous-power limit shown for the PA type: "600 Watts!" for
    // "1 kW or 1.2 kW", else "   1.2 kW!".
    static QString ContinuousPowerLimit(PaType paType);

private:
    QString LineText(const Line &line) const;

    const Design &design;
    PaType shownFor = PaType::Kw12; // the PA type of the last showing
    QLabel *figure = nullptr;       // the PA type's line, if the window has one
};
