// SPDX-License-Identifier: GPL-3.0-or-later
// Value rules of the main window's controls, free of widgets so that tests,
// the link and the window use the same ones: the power scale per PA type and
// where a power stands on it, the ALC level from a click on the output bar,
// and what each transceiver interface means for the band group.
#pragma once

#include <QString>

#include <array>
#include <optional>

namespace MainRules {

enum class PaType { Kw12, Kw24 }; // "1 kW or 1.2 kW", "2.4 kW"

// The texts of the scale labels Label16 .. Label20 (Label15 stays "0W").
std::array<QString, 5> ScaleTexts(PaType type);

// Position of the output bar (range 0..1200) for an output power in watts:
// the watts of a 1 kW or 1.2 kW amplifier, half those of a 2.4 kW one,
// limited to the scale.
int OutputBarPosition(int watts, PaType type);
// The left edge of the peak marker above the output bar for a peak power in
// watts, in the coordinates of the "Power" group box, limited to the scale.
int PeakMarkerLeft(int watts, PaType type);

// The ALC level sent for a press at X pixels on the output bar:
// (calValue * X) div 333, truncated, not limited.
int AlcLevel(int calValue, int x);
// The left edge of the ALC marker for a press at X on the output bar, in
// the coordinates of the "Power" group box.
int AlcMarkerLeft(int x);
// The calibration value that marks an amplifier without calibration.
constexpr int NotCalibrated = 255;

// What an interface number (1..7 as sent with "I: ") means for the band
// group: its caption and whether the operator may choose the band.
struct InterfaceInfo {
    QString bandCaption;
    bool bandsEnabled;
};
// Empty for numbers outside 1..7.
std::optional<InterfaceInfo> Interface(int number);

// The interface number the operator's "Manual" item stands for.
constexpr int ManualInterface = 5;

} // namespace MainRules
