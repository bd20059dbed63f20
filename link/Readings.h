// SPDX-License-Identifier: GPL-3.0-or-later
// What the amplifier and its tuner last said, as quantities in physical
// units: one value that the network server, a history recorder or a
// message-bus publisher takes from the link's state (AmpStatus::readings) by
// value. Views turn these into bar positions, pixels, colours and captions;
// nothing here is a caption or a pixel. Whether the readings say what the
// amplifier does now is AmpStatus::ReadingsCurrent() (connected and
// answering); they are kept, not cleared, while it is not.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The seven alarm reports, in the order the dispatcher tests them.
enum class AlarmKind { HpOut, HpIn, Bpf, Swr, Temp, Tot, HpCont };
constexpr int AlarmKinds = 7;

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

struct TunerReadings {
    bool fitted = false;                     // "ATU_INST: 1"
    AtuSwitch position = AtuSwitch::Initial; // as the amplifier confirmed it
    std::optional<int> status;               // "ATU_INF: n", 1..7; none: no message
    AtuLamp lamp = AtuLamp::Yellow;          // its status lamp
    // Its last SWR reading ("SWR: 15" is 1.5) and the band (1..7) it was
    // taken on; none when it reported none ("255", not a number, below 1.0),
    // from the start of a transmission, and when a connection ends.
    std::optional<double> swr;
    int swrBand = 0;
    std::optional<double> inductanceUH;   // L of its relays in µH ("END_L:", "Port L:")
    std::optional<double> capacitancePF;  // C of its relays in pF ("END_C:", "Port C:")
    std::optional<int> forwardW;          // forward power in W ("ATU_FWD:")
    std::optional<bool> capacitorAtInput; // switch K: C at the input side, or at the output side
};

struct Readings {
    // Output ("O: "), reflected ("R: ") and peak ("P_max: ") power in watts,
    // as reported, a 2.4 kW amplifier's too (no scaling). None when not
    // reported yet, after "TX: OFF" and after a connection ends; a report
    // that is not a number makes output and peak none and leaves reflected.
    std::optional<int> outputW;
    std::optional<int> reflectedW;
    std::optional<int> peakW;
    // The temperature in °C ("T: 45", fractions too); none: not reported
    // yet, or the report was not a number.
    std::optional<double> temperatureC;
    // The band, 1..7 (6 m is 7), as reported (the low 8 bits of "B: n", so
    // it may lie outside 1..7) or as the operator chose it.
    int band = 7;
    // The band was reported or chosen since the connection began (before,
    // band holds the start value or the last connection's).
    bool bandKnown = false;
    bool transmitting = false; // "TX: ON" until "TX: OFF"
    // The PTT block as the amplifier confirmed it ("BL:ON", "BL:OFF").
    bool pttBlocked = false;
    std::array<bool, AlarmKinds> alarms{}; // by AlarmKind, until "ALARM: OFF"
    PaType paType = PaType::Kw12;          // "x2" in the version: 2.4 kW
    QString firmware;                      // "Ver:", trimmed
    // Calibration ("CAL: ") and output level ("ALC_PWM: ") as reported,
    // their low 8 bits; calibration 255 is an amplifier not calibrated.
    std::uint8_t calibration = NotCalibrated;
    std::uint8_t alc = 0;
    bool calibrationKnown = false; // reported since the start, numbers or not
    bool alcKnown = false;
    TunerReadings tuner;

    // SWR from output and reflected power, where both are reported.
    std::optional<double> Swr() const;
    // The tuner's reading while it still describes the antenna in use: taken
    // on the present band and since the last transmission began.
    std::optional<double> TunerSwr() const {
        return tuner.swrBand == band ? tuner.swr : std::nullopt;
    }
    bool Pa12kW() const { return paType == PaType::Kw12; }
    // The amplifier is calibrated: the output level may be set.
    bool Calibrated() const { return calibration != NotCalibrated; }
    // Transmitting, as far as the readings tell: "TX: ON" seen, or output
    // power reported (a program that connects during a transmission sees
    // no "TX: ON").
    bool Transmits() const { return transmitting || outputW.value_or(0) > 0; }
};
