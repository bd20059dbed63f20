// SPDX-License-Identifier: GPL-3.0-or-later
// What the recorder keeps of one moment of the link: the readings in
// physical units, the band, the flags and how the connection stands. The
// history needs nothing else of the link, so its store and its window
// depend only on this value.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// How the connection stands, as the history tells it.
enum class HistoryLink {
    Closed,     // no port open (at start, or closed by the operator)
    Connecting, // the port is open, the amplifier not yet identified
    Current,    // connected and answering: the readings say what it does now
    NoAnswer,   // connected, but the amplifier has stopped answering
    Waiting,    // the port was lost and the link waits for it
};

struct HistorySample {
    HistoryLink link = HistoryLink::Closed;
    std::optional<double> output;      // W
    std::optional<double> reflected;   // W
    std::optional<double> peak;        // W
    std::optional<double> swr;         // 1.0 and up
    std::optional<double> temperature; // °C
    int band = 0;                      // 1..7; 0: not known
    bool transmitting = false;
    bool pttBlocked = false;
    unsigned alarms = 0; // bit n: alarm n of HistoryAlarmNames is active
    std::optional<double> tunerSwr;
    std::optional<double> tunerInductance;  // µH
    std::optional<double> tunerCapacitance; // pF
};

// Something that happened, as the history keeps it: its kind (below), a
// detail (the alarm, the band before, the command and who asked), the band
// and the output power it concerns.
struct HistoryEvent {
    QString kind;
    QString detail;
    int band = 0;
    std::optional<double> power;
};

constexpr int HistoryAlarmCount = 7;
// The alarms' names in the history, in the order of their bits.
QString HistoryAlarmName(int alarm);

// One transmission as the history keeps it: from its start to its end, on
// a band, its output averaged over the time and its peak, its SWR averaged
// over the time output power came and its worst, the alarms raised during it.
struct HistoryTransmission {
    qint64 startMs = 0; // since the epoch
    qint64 endMs = 0;
    int band = 0; // 1..7; 0: not known
    double averageW = 0;
    double peakW = 0;
    std::optional<double> averageSwr, worstSwr;
    unsigned alarms = 0; // bit n: HistoryAlarmName(n)
};

// The events of the history, as their kind is stored.
namespace HistoryEventKind {
inline const QString AlarmStart = QStringLiteral("alarm");
inline const QString AlarmEnd = QStringLiteral("alarm end");
inline const QString Band = QStringLiteral("band");
inline const QString TransmitOn = QStringLiteral("transmit on");
inline const QString TransmitOff = QStringLiteral("transmit off");
inline const QString PttBlocked = QStringLiteral("PTT blocked");
inline const QString PttFree = QStringLiteral("PTT free");
inline const QString Opened = QStringLiteral("opened");
inline const QString Lost = QStringLiteral("lost");
inline const QString Back = QStringLiteral("back");
inline const QString NoAnswer = QStringLiteral("no answer");
inline const QString Closed = QStringLiteral("closed");
// A command to the amplifier, its source and its outcome.
inline const QString Command = QStringLiteral("command");
// This program began and ended recording into the file: nothing is known of
// the time before a start that follows no end.
inline const QString RecordingStart = QStringLiteral("recording start");
inline const QString RecordingEnd = QStringLiteral("recording end");
// A log-in to the station page, a failed one or a log-out: who, from where.
inline const QString Web = QStringLiteral("web");
// After these the readings before are not current any more: a plot's line
// stops there, and an alarm's duration ends at the latest there.
bool EndsReadings(const QString &kind);
} // namespace HistoryEventKind
