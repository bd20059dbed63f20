// SPDX-License-Identifier: GPL-3.0-or-later
// What following the radio decides, as pure functions of the moment, the
// radio's state, the amplifier's state and what waits: the band of the
// frequency the radio transmits on, held for a settle time, sent only when
// neither transmits and the amplifier takes its band from the operator.
// Also the rig's address and the state every output shows.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

struct AmpStatus;

namespace rig {

// "rigctld://HOST:PORT" (rigctld's own port, 4532, when none is given).
struct Address {
    QString host;
    quint16 port = 4532;
    QString Text() const; // "rigctld://HOST:PORT"
};
// An empty string, or why text names no rig.
QString ParseAddress(const QString &text, Address *address);

// What the radio said at its last poll.
struct Radio {
    bool connected = false;
    std::optional<qint64> frequencyHz; // the VFO ("f")
    bool split = false;                // "s"
    std::optional<qint64> txHz;        // the transmit VFO while split ("i")
    bool ptt = false;                  // "t"; false when the radio cannot say
    // The frequency the radio will transmit on.
    std::optional<qint64> TransmitHz() const { return split ? txHz : frequencyHz; }
};

// The amplifier as following needs it.
struct Amp {
    bool connected = false; // connected and answering
    bool manual = false;    // the interface "Manual": the band is the operator's
    bool transmits = false;
    std::optional<int> band;
    static Amp Of(const AmpStatus &status);
};

// What waits between two decisions.
struct Memory {
    int candidate = 0; // the band the radio is on now, settling; 0: none
    qint64 sinceMs = 0;
    // The radio's band acted on last (sent, or found already set); a band
    // the operator chose since then stays until the radio changes band.
    int followed = 0;
};

// A band must hold this long before it goes: a VFO knob turned across a
// band edge and back switches no relays.
constexpr qint64 SettleMs = 500;

struct Decision {
    int send = 0;   // the band to send now; 0: nothing
    QString reason; // why nothing goes now; empty while nothing holds it back
    // When to ask the radio again (the settle time's end); -1: at the
    // next poll.
    qint64 againAtMs = -1;
    Memory memory;
};
Decision Decide(qint64 nowMs, const Radio &radio, const Amp &amp, const Memory &memory);

// The state every output shows of the rig.
struct Status {
    QString source; // "rigctld://HOST:PORT"; empty: no rig configured
    bool connected = false;
    std::optional<qint64> frequencyHz; // the radio's VFO
    std::optional<qint64> txHz;        // its transmit frequency while split
    std::optional<int> band;           // the band of the transmit frequency
    bool following = false;
    QString reason; // why nothing was sent; empty when nothing holds it back
    bool operator==(const Status &o) const {
        return source == o.source && connected == o.connected && frequencyHz == o.frequencyHz &&
               txHz == o.txHz && band == o.band && following == o.following && reason == o.reason;
    }
    bool operator!=(const Status &o) const { return !(*this == o); }
};

// "14.074000 MHz".
QString MHz(qint64 hz);

} // namespace rig
