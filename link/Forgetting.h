// SPDX-License-Identifier: GPL-3.0-or-later
// The rules by which the status forgets what no longer holds, each in one
// place with its bound, so that no output turns "not known" into false, 0
// or an empty list, and none serves a reading of before as current.
//
// A reading of an earlier connection is never current (its stamp names
// that connection, link/Readings.h); these rules forget what must not come
// back within one connection.
#pragma once

#include "link/AmpStatus.h"

namespace Forgetting {

// While it transmits the amplifier reports output and reflected power ten
// times a second. No power report for ReportsStopMs (ten report cycles: a
// busy line or a network hop may delay a few, not ten) means its reports
// have stopped: power and SWR are not known any more.
constexpr int ReportsStopMs = 1000;

enum class Rule {
    // The handshake of a new connection begins: nothing of before is of
    // this connection (the connection number moves on).
    NewConnection,
    // The amplifier is identified on this connection: no alarm holds until
    // it reports one (an alarm ends only on "ALARM: OFF" or a new connection).
    Identified,
    // The amplifier stopped answering: power, SWR, transmitting and the
    // tuner's readings are unknown. Alarms are kept (shown as not current
    // during the silence): a silence never ends an alarm.
    Silence,
    // The band changed: the tuner's SWR, L and C describe the other band.
    BandChange,
    // "TX: ON": the tuner's SWR describes the last transmission.
    TransmissionStart,
    // "TX: OFF": output, reflected and peak power and the SWR.
    TransmissionEnd,
    // No power report for ReportsStopMs during a transmission: output,
    // reflected power, the SWR and whether it still transmits are unknown.
    ReportsStopped,
    // The amplifier answers, and has sent no power report for ReportsStopMs:
    // it receives (what is unknown after a silence or a new connection).
    Receiving,
};

// Applies rule to the status at nowMs (the link's clock). Returns the
// StateChange bits of what it changed.
unsigned Apply(Rule rule, AmpStatus &status, qint64 nowMs);

// Whether an answering amplifier whose last power report (or the start of
// its answers) was at quietSinceMs is known to receive at nowMs.
constexpr bool ReceivingAfter(qint64 quietSinceMs, qint64 nowMs) {
    return nowMs - quietSinceMs >= ReportsStopMs;
}

} // namespace Forgetting
