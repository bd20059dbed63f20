// SPDX-License-Identifier: GPL-3.0-or-later
// What the amplifier and its tuner last said, as quantities in physical
// units. Each reading is a value and where it came from (the moment and the
// connection it was reported on), or nothing: a default is never a reading.
// Whether a reading says what the amplifier does now is decided once, by
// the view (link/StatusView.h) and the rules of forgetting
// (link/Forgetting.h); views turn the view into bar positions, pixels,
// colours and captions.
#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

// The band the tuner's rules assume before the amplifier tells one.
constexpr int StartBand = 7;

// The seven alarm reports, in the order the dispatcher tests them.
enum class AlarmKind { HpOut, HpIn, Bpf, Swr, Temp, Tot, HpCont };
constexpr int AlarmKinds = 7;
// Which alarms hold, by AlarmKind.
using AlarmSet = std::array<bool, AlarmKinds>;

// The amplifier's power class: "1 kW or 1.2 kW", or "2.4 kW".
enum class PaType { Kw12, Kw24 };
// The calibration value of an amplifier that is not calibrated.
constexpr std::uint8_t NotCalibrated = 255;

// The tuner's in/out switch: as at the start (nothing confirmed yet), in
// line, bypassed.
enum class AtuSwitch { Initial, InLine, Bypassed };
// The colour the tuner's status lamp is reported in.
enum class AtuLamp { Red, Green, Grey, Yellow };

// SWR worked out from forward and reflected power in watts: 1 with no
// forward or no reflected power, SwrLimit when the reflected power is not
// below the forward power.
constexpr double SwrLimit = 99.0;
double SwrFromPower(double forwardW, double reflectedW);

// Where a reading came from: the link's clock and the connection (numbered
// from 1 as each begins; 0 is none).
struct Stamp {
    qint64 atMs = -1;
    quint32 connection = 0;
};

// One reading: its value, or nothing, and its stamp. Read like an optional
// (there is no conversion to bool, so that a bool reading is never tested
// for being known by mistake); set only with its stamp.
template <typename T> struct Reading {
    std::optional<T> value;
    Stamp from;

    bool has_value() const { return value.has_value(); }
    const T &operator*() const { return *value; }
    const T *operator->() const { return &*value; }
    T value_or(T other) const { return value.value_or(std::move(other)); }
    // Reported on that connection.
    bool On(quint32 connection) const {
        return value && connection && from.connection == connection;
    }
    // A report: a value, or a report that was not one (nothing, stamped).
    void Set(std::optional<T> v, Stamp stamp) {
        value = std::move(v);
        from = stamp;
    }
    // Forgotten: true when there was a value.
    bool Forget() {
        const bool had = value.has_value();
        value.reset();
        return had;
    }
    friend bool operator==(const Reading &a, const std::optional<T> &b) { return a.value == b; }
    friend bool operator!=(const Reading &a, const std::optional<T> &b) { return a.value != b; }
};

struct TunerReadings {
    Reading<bool> fitted;                    // "ATU_INST: 1"
    AtuSwitch position = AtuSwitch::Initial; // as the amplifier confirmed it
    Reading<int> status;                     // "ATU_INF: n", 1..7; none: no message
    AtuLamp lamp = AtuLamp::Yellow;          // its status lamp
    // Its last SWR reading ("SWR: 15" is 1.5); none when it reported none
    // ("255", not a number, below 1.0), and forgotten at the start of a
    // transmission and at a change of band.
    Reading<double> swr;
    Reading<double> inductanceUH;   // L of its relays in µH ("END_L:", "Port L:")
    Reading<double> capacitancePF;  // C of its relays in pF ("END_C:", "Port C:")
    Reading<int> forwardW;          // forward power in W ("ATU_FWD:")
    Reading<bool> capacitorAtInput; // switch K: C at the input side, or at the output side
};

struct Readings {
    // Output ("O: "), reflected ("R: ") and peak ("P_max: ") power in watts,
    // as reported, a 2.4 kW amplifier's too (no scaling). A report that is
    // not a number makes output and peak nothing and leaves reflected.
    Reading<int> outputW;
    Reading<int> reflectedW;
    Reading<int> peakW;
    // The SWR of one report cycle: "O: " and the "R: " that follows it. A
    // reflected power is never paired with the output of another cycle.
    Reading<double> powerSwr;
    bool outputSinceReverse = false; // an "O: " waits for its "R: "
    // The temperature in °C ("T: 45", fractions too).
    Reading<double> temperatureC;
    // The band as reported (the low 8 bits of "B: n", so it may lie outside
    // 1..7; 6 m is 7) or as the operator chose it. The tuner's rules take
    // StartBand (6 m, no tuner) before one is known.
    Reading<int> band;
    // "TX: ON" / "TX: OFF"; also false when the amplifier answers for a
    // while without a power report (link/Forgetting.h).
    Reading<bool> transmitting;
    // The PTT block as the amplifier confirmed it ("BL:ON", "BL:OFF").
    Reading<bool> pttBlocked;
    // By AlarmKind, from "ALARM: x" until "ALARM: OFF"; none raised when a
    // connection is identified.
    Reading<AlarmSet> alarms;
    Reading<PaType> paType;    // "x2" in the version: 2.4 kW; or the operator's choice
    Reading<QString> firmware; // "Ver:", trimmed
    // Calibration ("CAL: ") and output level ("ALC_PWM: ") as reported, their
    // low 8 bits; calibration 255 is an amplifier not calibrated. A report
    // that is not a number stamps nothing as the value.
    Reading<std::uint8_t> calibration;
    Reading<std::uint8_t> alc;
    bool calibrationAnswered = false; // "CAL: " seen since the start, a number or not
    bool alcAnswered = false;
    TunerReadings tuner;

    bool Alarm(AlarmKind kind) const { return alarms.has_value() && (*alarms)[std::size_t(kind)]; }
    bool Pa12kW() const { return paType.value_or(PaType::Kw12) == PaType::Kw12; }
    // The amplifier is calibrated: the output level may be set.
    bool Calibrated() const { return calibration.value_or(NotCalibrated) != NotCalibrated; }
};
