// SPDX-License-Identifier: GPL-3.0-or-later
// What the network control server needs of the amplifier: a snapshot of the
// state it answers queries from, and the few changes a client may ask for.
// The link implements it; the server never touches the serial line itself.
#pragma once

#include "link/Commands.h"

#include <QByteArray>

#include <optional>

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
    double forwardW = 0;      // output power in watts
    double reflectedW = 0;    // reverse power in watts
    double peakW = 0;         // peak output power in watts
    // The antenna's SWR as the link decides it for every output; none while
    // no output power comes and no tuner in line has a reading.
    std::optional<double> swr;
    QByteArray alarm; // the active alarm's text; empty when none
    QByteArray info;  // model and firmware, for get_info
};

class RemoteTarget {
public:
    virtual ~RemoteTarget() = default;
    virtual AmpSnapshot Snapshot() const = 0;
    // A band, the PTT block or a line of free text, through the link's
    // command gate; the outcome as the gate tells it now.
    virtual CommandOutcome Submit(const Command &command) = 0;
};

} // namespace remote
