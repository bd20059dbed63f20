// Value rules of the main window's operator controls, free of widgets so
// that tests and the reply dispatcher use the same ones: the power scale per
// PA type, the ALC level from a click on the output bar, and what each
// transceiver interface means for the band group.
#pragma once

#include <QString>

#include <array>
#include <optional>

namespace MainRules {

enum class PaType { Kw12, Kw24 }; // "1 kW or 1.2 kW", "2.4 kW"

// The texts of the scale labels Label16 .. Label20 (Label15 stays "0W").
std::array<QString, 5> ScaleTexts(PaType type);

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
