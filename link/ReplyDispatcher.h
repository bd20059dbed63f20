// SPDX-License-Identifier: GPL-3.0-or-later
// The reply dispatcher: one received line applied to the state record by the
// table of the amplifier's reports, one row per report prefix. Pure: it sends
// nothing and touches no window; the link logs its entries and hands its
// effects to the views.
#pragma once

#include "link/AmpStatus.h"

#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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

// The kind of report a row of the table handles. Rows of one kind share
// their handler: the seven alarms, the four lamp colours, the band lines,
// "END_L: " and "Port L:", "END_C: " and "Port C:".
enum class ReportId {
    None, // no row takes the line: it is only logged
    BlockOn,
    BlockOff,
    Temperature,
    Band,
    Version,
    AlarmSound,
    Interface,
    Fan,
    BarSpeed,
    Tot,
    Peak,
    Calibration,
    Alc,
    Output,
    Reverse,
    InAlarmPwm,
    TxOn,
    TxOff,
    InPower,
    BandLine,
    Alarm,
    AlarmOff,
    AtuInfo,
    AtuInstalled,
    AtuState,
    TuneOff,
    Lamp,
    SwrMin,
    AtuForward,
    Inductance,
    Capacitance,
    EndSwr,
    Swr,
    SwitchK,
    EndK,
};

// What one report did: the row that took it and its value as that row took
// it (the value text a view shows as received: "850" of "O: 850", a value
// that is not a number too), the monitor entries it adds (after the line's
// own "+ " entry), the effects to show and what it changed. A confirmation
// of the PTT block ("BL:ON" true) or of the tuner's switch ("ATU_STATE: 1"
// true) ends the wait for the command it confirms.
struct ReportOutcome {
    ReportId row = ReportId::None;
    QString value;
    QStringList entries;
    QList<LinkEffect> effects;
    unsigned changed = 0;
    std::optional<bool> pttConfirmed;
    std::optional<bool> atuConfirmed;
};

// Interprets one received line (the amplifier already identified): exactly
// one row acts on it, the one with the longest prefix the line begins with
// (compared exactly and case-sensitively). A value that is not a number ends
// its row with a "******" entry naming the report.
ReportOutcome ApplyReport(const QString &line, AmpStatus &state);

// The prefix of the row that takes line; empty when no row does.
QLatin1String ReportPrefix(const QString &line);
// Every row's prefix, in the table's order.
QList<QLatin1String> ReportPrefixes();

// Ends the wait for the command the report confirms: "BL:ON" that of a
// block, "BL:OFF" that of a release, "ATU_STATE: " that of the switch's
// position it reports. Returns what changed.
unsigned ConfirmPending(const ReportOutcome &outcome, PendingCommands &pending);

// Forgets what only the amplifier's next report can confirm: power,
// transmitting, alarms, the tuner's readings and status, and with
// `andBand` the band. Used when a connection ends (band and all) and when
// the amplifier stops answering (the band stays: it is asked again first
// when it answers), so that nothing of before is served as current.
// Returns what changed.
unsigned ForgetReadings(AmpStatus &state, bool andBand = true);
