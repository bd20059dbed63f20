// SPDX-License-Identifier: GPL-3.0-or-later
// The reply dispatcher: one received line applied to the state record by the
// table of the amplifier's reports, one row per report prefix. Pure: it sends
// nothing and touches no window; the link logs its entries and tells the
// events.
#pragma once

#include "link/AmpStatus.h"

#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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
    unsigned changed = 0;
    bool tunerFitted = false;  // "ATU_INST: 1"
    bool tuneFinished = false; // "TUNE OFF"
    std::optional<bool> pttConfirmed;
    std::optional<bool> atuConfirmed;
};

// Interprets one received line (the amplifier already identified): exactly
// one row acts on it, the one with the longest prefix the line begins with
// (compared exactly and case-sensitively). A value that is not a number ends
// its row with a "******" entry naming the report. What it sets is stamped
// with nowMs (the link's clock) and the status's connection.
ReportOutcome ApplyReport(const QString &line, AmpStatus &state, qint64 nowMs = 0);

// The prefix of the row that takes line; empty when no row does.
QLatin1String ReportPrefix(const QString &line);
// Every row's prefix, in the table's order.
QList<QLatin1String> ReportPrefixes();

// Ends the wait for the command the report confirms: "BL:ON" that of a
// block, "BL:OFF" that of a release, "ATU_STATE: " that of the switch's
// position it reports. Returns what changed.
unsigned ConfirmPending(const ReportOutcome &outcome, PendingCommands &pending);
