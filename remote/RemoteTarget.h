// SPDX-License-Identifier: GPL-3.0-or-later
// What the network control server needs of the amplifier: a snapshot of the
// state it answers queries from, and the few changes a client may ask for.
// The link implements it; the server never touches the serial line itself.
#pragma once

#include <QByteArray>

namespace remote {

// Whether the readings say what the amplifier does now, and if not, why.
enum class Liveness {
    Live,     // identified and answering
    Closed,   // no port open, none waited for
    PortLost, // the port is lost or missing; the link waits for it
    Silent,   // the port is open but the amplifier does not answer (yet)
};

struct AmpSnapshot {
    Liveness liveness = Liveness::Closed;
    bool connected = false;   // the amplifier is identified
    int band = 0;             // 1..7; 0 while unknown
    bool manualBands = false; // the interface lets the operator choose the band
    bool pttBlocked = false;  // PTT block as the amplifier confirmed it
    int pttPending = -1;      // -1 nothing pending; 1 block or 0 release sent, not yet confirmed
    double forwardW = 0;      // output power in watts
    double reflectedW = 0;    // reverse power in watts
    double peakW = 0;         // peak output power in watts
    double tunerSwr = 0;      // the tuner's current SWR reading; 0 or less: none
    QByteArray alarm;         // the active alarm's text; empty when none
    QByteArray info;          // model and firmware, for get_info
};

class RemoteTarget {
public:
    virtual ~RemoteTarget() = default;
    virtual AmpSnapshot Snapshot() const = 0;
    // Sends "B: n" as the band buttons do.
    virtual void SelectBand(int band) = 0;
    // Blocks or releases the PTT as the PTT-block button does.
    virtual void SetPttBlocked(bool blocked) = 0;
    // Sends one line of free text as the port monitor's input line does.
    virtual void SendLine(const QByteArray &text) = 0;
};

} // namespace remote
