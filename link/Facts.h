// SPDX-License-Identifier: GPL-3.0-or-later
// What every output says about the amplifier in the same words: its alarms,
// its bands and its PA types. The panel's windows keep their own layout
// texts; the server, MQTT, the history and the logs take these.
#pragma once

#include "link/Readings.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>

#include <optional>

namespace Facts {

struct Alarm {
    AlarmKind kind;
    QLatin1String name; // as the amplifier names it: "SWR" of "ALARM: SWR"
    QLatin1String text; // what it means, for people
};
// By AlarmKind.
extern const Alarm Alarms[AlarmKinds];
inline const Alarm &AlarmFact(AlarmKind kind) {
    return Alarms[int(kind)];
}
// The alarm of a name ("SWR"); none for another word.
std::optional<AlarmKind> AlarmNamed(const QString &name);

// The bands, 1..7 (6 m is 7), by the names the band row shows.
constexpr int Bands = 7;
constexpr bool IsBand(int band) {
    return band >= 1 && band <= Bands;
}
// "160M" .. "6M"; empty for a number that is no band.
QString BandName(int band);

// The band (1..7) that holds a frequency in Hz, by the amateur allocations
// of the widest of the three IARU regions; 0 for none.
int BandForFrequency(double hz);
// The lowest frequency of a band in Hz; 0 outside 1..7.
qint64 BandLowerEdge(int band);

// A line with control characters other than a tab (NUL, escape, DEL ...).
bool IsBinaryLine(const QByteArray &line);

// A text of the amplifier's that other programs are given (its version):
// printable ASCII only, at most MaxRelayedText characters, so that a line of
// noise reaches no client, broker or log whole.
constexpr int MaxRelayedText = 40;
QString RelayedText(const QString &text);

// The PA types: "1.2 kW" and "2.4 kW".
QString PaTypeName(PaType type);

} // namespace Facts
