// SPDX-License-Identifier: GPL-3.0-or-later
// What goes on the bus about the amplifier: one value with the connection
// phase and the readings in physical units, its retained JSON, and the
// link's events as the event topic carries them.
// A reading that is not current is none and goes out as JSON null.
#pragma once

#include "link/AmpStatus.h"
#include "link/LinkEvents.h"
#include "link/Readings.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace mqtt {

// The connection phase as the state's "phase" names it.
namespace Phase {
inline const QString Closed = QStringLiteral("closed");         // no port open, none waited for
inline const QString Waiting = QStringLiteral("waiting");       // the port is not there yet
inline const QString Connecting = QStringLiteral("connecting"); // open, looking for the amplifier
inline const QString Connected = QStringLiteral("connected");   // identified and answering
inline const QString NoAnswer = QStringLiteral("no answer");    // identified, but silent
inline const QString Lost = QStringLiteral("lost");             // the port went; waiting for it
} // namespace Phase

// An alarm's name as the amplifier reports it ("SWR" of "ALARM: SWR"),
// and what it means.
QString AlarmName(AlarmKind kind);
QString AlarmText(const QString &name);

// The band names as the panel shows them, band 1 first.
QString BandName(int band);

struct TunerState {
    bool fitted = false;
    std::optional<bool> inLine; // none: not reported yet
    std::optional<int> status;  // the tuner's status code
    std::optional<double> swr;  // its current SWR reading
    std::optional<double> inductanceUh;
    std::optional<double> capacitancePf;
    std::optional<int> forwardW;
    bool operator==(const TunerState &o) const;
};

// The last transmission's figures, until the next one ends.
struct LastTransmission {
    double durationS = 0;
    int band = 0; // 0: not known
    double averageW = 0;
    int peakW = 0;
    std::optional<double> worstSwr;
    bool operator==(const LastTransmission &o) const;
};

struct MqttState {
    QString phase = Phase::Closed;
    QString port; // the port name; empty before the first open
    // Whether the readings below say what the amplifier does now. When not,
    // every reading is none.
    bool current = false;
    std::optional<int> band; // 1..7
    std::optional<bool> transmitting;
    std::optional<bool> pttBlocked; // none until the amplifier has told it on this connection
    std::optional<int> outputW;
    std::optional<int> reflectedW;
    std::optional<int> peakW;
    std::optional<double> swr;
    std::optional<double> temperatureC;
    std::optional<QStringList> alarms; // the active alarms' names
    std::optional<TunerState> tuner;   // none: not current, or no tuner reported
    QString firmware;                  // empty: not known
    QString paType;                    // "1.2 kW" or "2.4 kW"
    std::optional<LastTransmission> lastTransmission;
    // The radio the amplifier follows; none (and no "rig" key) when no rig is set.
    std::optional<RigStatus> rig;
    bool operator==(const MqttState &o) const;
    bool operator!=(const MqttState &o) const { return !(*this == o); }
};

// The state as one JSON object, with the time it describes.
QByteArray StateJson(const MqttState &state, const QDateTime &time);

// The connection phase a link event leads to; empty for other events.
QString PhaseAfter(LinkEvent::Kind kind);
// A link event as its JSON object on the event topic: a connection phase
// (with the one the event left), an alarm's start or end, a finished
// transmission with its figures, a band change and who asked for it. Empty
// for the events the topic does not carry.
QByteArray EventJson(const LinkEvent &event, const QDateTime &time);

// The event that says how many events were dropped while the broker was away.
QByteArray DroppedEvent(int count, const QDateTime &time);

// ISO 8601 in UTC with milliseconds: 2026-03-01T12:00:00.125Z.
QString IsoTime(const QDateTime &time);

} // namespace mqtt
