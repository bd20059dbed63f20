// SPDX-License-Identifier: GPL-3.0-or-later
// The reply dispatcher: one received line applied to the state record, by
// the table of the amplifier's reports. Pure: it sends nothing and touches no
// window; the link logs its entries and hands its effects to the views.
#pragma once

#include "link/AmpStatus.h"

#include <QList>
#include <QString>
#include <QStringList>

// Something for a view to show: alarm windows, the ATU panel, a message box.
// Without windows these are only reported (a headless runner logs them).
struct LinkEffect {
    enum class Kind {
        AlarmRaised,   // alarm: show its window
        AlarmsCleared, // hide every alarm window
        ShowAtuPanel,  // the tuner is fitted: show its panel
        TuneFinished,  // the tune button returns to its face colour
        Message,       // a message box: text, title, icon
        Disconnected,  // the port went away: "Disconnected from COM Port"
    };
    enum class Icon { Error, Warning, Information };

    Kind kind = Kind::Message;
    AlarmKind alarm = AlarmKind::HpOut;
    QString text;
    QString title;
    Icon icon = Icon::Error;
};

// What one report did: the monitor entries it adds (after the line's own
// "+ " entry), the effects to show, what it changed, and whether it
// confirmed the tuner's switch (its re-send stops).
struct ReportOutcome {
    QStringList entries;
    QList<LinkEffect> effects;
    unsigned changed = 0;
    bool atuConfirmed = false;
};

// Interprets one received line (the amplifier already identified): every
// report test in order, with no "else" between them. A test that takes a
// value replaces the line by that value; the tests after it compare against
// the replaced text. A value that is not a number ends only its own test,
// with a "******" entry naming the report.
ReportOutcome ApplyReport(QString line, AmpStatus &state);

// Forgets what only the amplifier's next report can confirm: power,
// transmitting, alarms, the tuner's readings and status. Used when a
// connection ends, so that nothing of it is shown as current on return.
// Returns what changed.
unsigned ForgetReadings(AmpStatus &state);
