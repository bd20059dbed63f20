// SPDX-License-Identifier: GPL-3.0-or-later
// Value rules of the amplifier's reports, free of any window: number
// conversion, the 8-bit session values, the temperature range, the peak
// power logged, the tuner's relay sums and the SWR text.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace Reports {

// Decimal text to a signed 32-bit number: optional leading blanks, an
// optional sign, digits, nothing after them. Anything else is not a number.
std::optional<int> ToInt(const QString &text);

// Decimal text with an optional fraction ("100.5"), as a number; whole
// numbers as ToInt takes them.
std::optional<double> ToDecimal(const QString &text);

// A number stored in an 8-bit session value keeps its low 8 bits.
constexpr std::uint8_t Low8(int n) {
    return std::uint8_t(unsigned(n) & 0xFFu);
}

// Temperature range: below 40 Cool, below 60 Warm, below 75 Hot, else
// Alarm. A number is compared as a number; only a value that is not a
// number falls back to comparing the text.
enum class TempRange { Cool, Warm, Hot, Alarm };
TempRange TemperatureRange(const QString &value);

// Texts compared character by character as unsigned byte values.
bool TextGreater(const QString &a, const QString &b);
// Fine tuning is offered from firmware versions after "3.28" (text order).
bool FineTuningAllowed(const QString &firmwareVersion);

// "P_max: ": the value logged, the received one limited to the PA type's
// maximum (1200 W or 2400 W).
QString PeakLogged(const QString &received, int number, bool pa12kW);

// The output level on its full-level scale, X 0..333 for 0..100 % of the
// calibration (the output bar's width): the ALC value sent for a press at X,
// (calValue * X) div 333, truncated and not limited; and where an ALC value
// stands on that scale (calValue must not be 0).
constexpr int AlcLevel(int calValue, int x) {
    return (calValue * x) / 333;
}
constexpr int AlcMark(int alcValue, int calValue) {
    return alcValue * 333 / calValue;
}

// Tuner relay field: trimmed, padded with leading "0" to 8 digits, longer
// values keep their last 8.
QString PadRelays(const QString &field);
// Sum of digit(i) * unit * 2^(8-i) over the 8 digits; nothing when a digit
// is not a number.
std::optional<double> RelaySum(const QString &digits8, double unit);
constexpr double InductanceUnit = 0.04; // µH
constexpr double CapacitanceUnit = 5;   // pF
// General decimal form: at most 15 significant digits, no trailing zeros,
// the system's decimal separator.
QString GeneralDecimal(double value);
QString InductanceCaption(double microHenry);
QString CapacitanceCaption(double picoFarad);

// The tuner's SWR, reported in tenths ("15" is 1.5, "123" is 12.3), as a
// number: none for "255" (unknown), for anything that is not a whole number
// and below 1.0, which no SWR is. Blanks around it do not count.
std::optional<double> SwrValue(const QString &value);
// The same value as text with one decimal ("1.5", "12.3"), "???" where it
// is none, so that every output shows the same reading.
QString SwrText(const QString &value);

// Caption and kind of the ATU status message for codes 1..7.
enum class AtuTone { Alert, Busy, Good };
struct AtuStatus {
    QString caption;
    AtuTone tone = AtuTone::Alert;
};
std::optional<AtuStatus> AtuStatusFor(int code);

} // namespace Reports
