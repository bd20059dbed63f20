// SPDX-License-Identifier: GPL-3.0-or-later
// What every output shows of the status, decided once: the panel, the tuner
// panel, the network server, MQTT, the station page, the history and the
// headless log format this and decide nothing of their own.
//
// Each reading is Shown: its last value of this connection (or, for the
// panel's greyed look, of the last one) and whether it is current, that is
// reported on this connection, not forgotten by a rule of link/Forgetting.h,
// and the amplifier answering. An output that cannot grey a value prints
// Now(): the value while current, else nothing ("unknown": JSON null, "—").
#pragma once

#include "link/AmpStatus.h"

#include <QList>
#include <QString>

#include <optional>

template <typename T> struct Shown {
    std::optional<T> value; // the value last known; may be of an earlier connection
    bool current = false;   // reported on this connection, answering, not forgotten
    // The value while it is current; nothing while not.
    std::optional<T> Now() const { return current ? value : std::nullopt; }
};

struct TunerView {
    bool fitted = false;        // fitted, as this connection reported
    std::optional<bool> inLine; // none: its switch not confirmed yet
    AtuLamp lamp = AtuLamp::Yellow;
    Shown<int> status; // "ATU_INF:" 1..7
    Shown<double> swr; // the tuner's own reading, on this band
    Shown<double> inductanceUH;
    Shown<double> capacitancePF;
    Shown<int> forwardW;
};

struct StatusView {
    ::Liveness liveness = ::Liveness::Closed;
    QString phase; // LivenessName(liveness): "connected", "no answer" ...
    QString port;
    bool current = false; // connected and answering
    // No connection has begun since the start: the panel keeps its start-up look.
    bool startUp = true;

    Shown<int> band;          // 1..7
    Shown<bool> transmitting; // none while not known (after a silence, a new connection)
    Shown<int> outputW;       // 0 W while known to receive
    Shown<int> reflectedW;    // 0 W while known to receive
    // The transmission under way's peak, else the last one's; none before one.
    Shown<int> peakW;
    // The SWR of the antenna in use: the tuner's while it is in line and has
    // reported on this band, else that of one report cycle's output and
    // reflected power while output comes; none while receiving.
    Shown<double> swr;
    Shown<double> temperatureC;
    Shown<QString> firmware;
    Shown<PaType> paType;           // current once the firmware is (or the operator chose it)
    Shown<bool> pttBlocked;         // as the amplifier confirmed it on this connection
    Shown<QList<AlarmKind>> alarms; // the alarms that hold; empty: none
    Shown<int> interface;           // 1..7
    bool manualBands = false;       // the "Manual" interface: the operator (or the radio) chooses
    Shown<bool> calibrated;
    Shown<int> outputLevel; // ALC level 0..255
    TunerView tuner;
    // The last transmission's record while none is under way.
    std::optional<Transmission> lastTransmission;
    RigStatus rig;
};

StatusView ViewOf(const AmpStatus &status);
