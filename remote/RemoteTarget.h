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
    bool connected = false; // the amplifier is identified
    // Each reading as the link's view has it now (link/StatusView.h): none
    // while it is not known.
    int band = 0;                     // 1..7; 0 while unknown
    bool manualBands = false;         // the interface lets the operator choose the band
    std::optional<bool> pttBlocked;   // PTT block as the amplifier confirmed it
    std::optional<bool> receiving;    // known not to transmit
    std::optional<double> forwardW;   // output power in watts
    std::optional<double> reflectedW; // reverse power in watts
    // The transmission under way's peak, else the last one's.
    std::optional<double> peakW;
    // The antenna's SWR as the link decides it for every output.
    std::optional<double> swr;
    std::optional<QByteArray> alarm;      // the active alarms' texts; empty when none
    std::optional<qint64> rigFrequencyHz; // the radio's, while the amplifier follows one
    QByteArray info;                      // model and firmware, for get_info
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
