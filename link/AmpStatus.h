// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the amplifier has reported, or confirmed of what the operator
// set, in one value record, in physical units: each reading is known or not
// (optional), and current while the link is connected and answered
// (ReadingsCurrent). The link keeps it; views draw from it and keep only what
// is theirs (captions as shown, marks in pixels). Closing and reopening the
// port keeps it (what a connection reported is forgotten as it ends); only
// the start of the program sets its start values.
#pragma once

#include "link/LinkEvents.h"
#include "link/Readings.h"

#include <QString>

#include <cstdint>

// The connection as the operator sees it: the start, the handshake, the
// identified amplifier, and closed again.
// Waiting: the port was lost (or was not there) and the link retries it.
enum class LinkPhase { Start, Connecting, Connected, Closed, Waiting };
// The phases that end a connection: what it reported is forgotten as they begin.
constexpr bool ForgetsReadings(LinkPhase phase) {
    return phase == LinkPhase::Closed || phase == LinkPhase::Waiting;
}

// The transceiver interfaces that select the band, numbered 1..7 as the
// amplifier numbers them; on "Manual" the operator chooses the band.
constexpr int Interfaces = 7;
constexpr int ManualInterface = 5;
constexpr bool IsInterface(int n) {
    return n >= 1 && n <= Interfaces;
}

struct AmpStatus {
    // ---- Connection --------------------------------------------------------
    LinkPhase Phase = LinkPhase::Start;
    QString PortName;          // the port Open used last
    bool PaIdentified = false; // the identification was seen; reports are interpreted
    std::uint8_t ConnectTicks = 0;
    // Connected, but the amplifier has stopped answering: nothing it said
    // before is current until a line arrives again.
    bool NoAnswer = false;
    // Waiting because a connection's port went (not one that was never there).
    bool PortLost = false;
    // A network port that another client keeps taking from us (a ser2net
    // port with kickolduser): tried again at growing intervals.
    bool PortTaken = false;

    // ---- What the amplifier said -------------------------------------------
    Readings readings;

    // ---- Settings (0: not reported and not chosen yet) -----------------------
    int Interface = 0;  // the interface, 1..7: reported, or chosen and sent
    int Fan = 0;        // 1..4
    int AlarmSound = 0; // 1..3
    int BarSpeed = 0;   // 1..4
    int Tot = 0;        // 1..4
    int InPower = 0;    // 1..2

    // ---- Tuner ---------------------------------------------------------------
    // Fine tuning is offered: firmware after "3.28", the tuner not bypassed.
    bool FineTuningEnabled = true;
    int SwrMin = 0; // 11..17; 0: none chosen

    // The last transmission's record, from its end until the next one starts.
    std::optional<Transmission> lastTransmission;

    bool IsConnected() const { return Phase == LinkPhase::Connected; }
    bool IsConnecting() const { return Phase == LinkPhase::Connecting; }
    bool IsWaiting() const { return Phase == LinkPhase::Waiting; }
    // The readings say what the amplifier does now: connected and answering.
    bool ReadingsCurrent() const { return Phase == LinkPhase::Connected && !NoAnswer; }
    ::Liveness Liveness() const;

    // One rule each, for every output.
    // The band while it is current: reported or chosen on this connection,
    // and one of the amplifier's seven.
    std::optional<int> Band() const;
    // Output and reflected power while current: receiving, the amplifier
    // sends no power, which is 0 W, not an unknown value.
    std::optional<int> OutputW() const;
    std::optional<int> ReflectedW() const;
    // The SWR of the antenna in use while current: the tuner's own reading
    // while it is in line and describes this band and transmission, else
    // the one from forward and reflected power while output power comes.
    std::optional<double> Swr() const;
    // The tuner is fitted and confirmed in line.
    bool TunerInLine() const {
        return readings.tuner.fitted && readings.tuner.position == AtuSwitch::InLine;
    }
    // The operator chooses the band (the "Manual" interface).
    bool ManualBands() const { return Interface == ManualInterface; }
};

// Commands sent that wait for the amplifier's confirmation; the link re-sends
// them until it comes (the PTT block by the poll, the tuner's switch by its
// timer) and keeps them beside the state, not in it.
struct PendingCommands {
    bool blockOn = false;   // "BL:ON"
    bool blockOff = false;  // "BL:OFF"
    bool atuOn = false;     // "ATU_STATE: 1"
    bool atuBypass = false; // "ATU_STATE: 0"
};

// What a change touched, so that a view redraws only that.
namespace StateChange {
enum : unsigned {
    Connection = 1u << 0,
    Band = 1u << 1,
    Interface = 1u << 2,
    PaType = 1u << 3,
    Temperature = 1u << 4,
    Output = 1u << 5, // output power, reported or cleared
    Alc = 1u << 6,
    Transmit = 1u << 7, // transmitting began or ended
    Ptt = 1u << 8,      // the confirmed PTT block changed
    Settings = 1u << 9,
    Alarm = 1u << 10,
    AtuFitted = 1u << 11,
    AtuSwitch = 1u << 12,
    AtuStatus = 1u << 13,
    AtuLamp = 1u << 14,
    AtuReadings = 1u << 15,
    AtuDiagram = 1u << 16,
    SwrMin = 1u << 17,
    Firmware = 1u << 18,
    NoAnswer = 1u << 19,
    Reverse = 1u << 21,    // reflected power
    Peak = 1u << 22,       // peak power
    PttPending = 1u << 23, // a block or release sent, or its confirmation
};
}
