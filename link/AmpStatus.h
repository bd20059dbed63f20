// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the amplifier has reported, or confirmed of what the operator
// set, in one value record, in physical units: each reading carries the
// moment and the connection it came from (link/Readings.h). The link keeps
// it and forgets by the rules of link/Forgetting.h; every output formats
// its view (link/StatusView.h) and keeps only what is its own (captions as
// shown, marks in pixels).
#pragma once

#include "link/LinkEvents.h"
#include "link/Readings.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// The connection as the operator sees it: the start, the handshake, the
// identified amplifier, and closed again.
// Waiting: the port was lost (or was not there) and the link retries it.
enum class LinkPhase { Start, Connecting, Connected, Closed, Waiting };

// The transceiver interfaces that select the band, numbered 1..7 as the
// amplifier numbers them; on "Manual" the operator chooses the band.
constexpr int Interfaces = 7;
constexpr int ManualInterface = 5;
constexpr bool IsInterface(int n) {
    return n >= 1 && n <= Interfaces;
}

// The radio the amplifier follows (rig/): set by the follower through the
// link, so that every output shows it from the one status.
struct RigStatus {
    QString source;                    // "rigctld://127.0.0.1:4532"; empty: none set
    bool connected = false;            // the radio's control program answers
    std::optional<qint64> frequencyHz; // the frequency the radio transmits on
    std::optional<int> band;           // that frequency's band, 1..7
    bool following = false;            // switched on by the operator
    QString why;                       // why nothing was sent, when something holds it back
    bool operator==(const RigStatus &o) const {
        return source == o.source && connected == o.connected && frequencyHz == o.frequencyHz &&
               band == o.band && following == o.following && why == o.why;
    }
    bool operator!=(const RigStatus &o) const { return !(*this == o); }
};
// Switches following the radio on or off (the station's, asked by MQTT or
// the page): an empty string, or why it did not.
using FollowSwitch = std::function<QString(bool on)>;
// Its answer while no radio is followed.
inline const QString NoRadioFollowed =
    QStringLiteral("no radio is followed (--rig or [Rig] Follow=)");

struct AmpStatus {
    // ---- Connection --------------------------------------------------------
    LinkPhase Phase = LinkPhase::Start;
    QString PortName;          // the port Open used last
    bool PaIdentified = false; // the identification was seen; reports are interpreted
    std::uint8_t ConnectTicks = 0;
    // The connection in hand, numbered from 1 as each handshake begins; 0
    // before the first. A reading stamped with another is not of this one.
    quint32 connection = 0;
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

    // The transmission under way, its record so far; and the last one's
    // record, from its end until the next one starts.
    std::optional<Transmission> transmission;
    std::optional<Transmission> lastTransmission;

    RigStatus rig;

    bool IsConnected() const { return Phase == LinkPhase::Connected; }
    bool IsConnecting() const { return Phase == LinkPhase::Connecting; }
    bool IsWaiting() const { return Phase == LinkPhase::Waiting; }
    // The readings say what the amplifier does now: connected and answering.
    bool ReadingsCurrent() const { return Phase == LinkPhase::Connected && !NoAnswer; }
    ::Liveness Liveness() const;
    // A reading's stamp now: this connection at atMs.
    Stamp At(qint64 atMs) const { return {atMs, connection}; }
    // Reported on this connection (whether or not it answers now).
    template <typename T> bool OnThisConnection(const Reading<T> &r) const {
        return r.On(connection);
    }
    // The band reported or chosen on this connection, one of the seven.
    std::optional<int> Band() const;
    // The PTT block confirmed on this connection; false before its report.
    bool PttBlockedHere() const {
        return OnThisConnection(readings.pttBlocked) && *readings.pttBlocked;
    }
    // The tuner is fitted and confirmed in line.
    bool TunerInLine() const {
        return readings.tuner.fitted.value_or(false) &&
               readings.tuner.position == AtuSwitch::InLine;
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
    Rig = 1u << 24,        // the radio followed
};
}
