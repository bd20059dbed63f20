// SPDX-License-Identifier: GPL-3.0-or-later
// Value rules of the main window's controls, free of widgets so that tests
// and the window use the same ones: the power scale per PA type and where a
// power stands on it, where the output level mark stands, and the band
// group's caption for each transceiver interface.
#pragma once

#include "link/Readings.h"

#include <QString>

#include <array>
#include <optional>

namespace MainRules {

// The texts of the scale labels Label16 .. Label20 (Label15 stays "0W").
std::array<QString, 5> ScaleTexts(PaType type);

// Position of the output bar (range 0..1200) for an output power in watts:
// the watts of a 1 kW or 1.2 kW amplifier, half those of a 2.4 kW one,
// limited to the scale.
int OutputBarPosition(int watts, PaType type);
// The left edge of the peak marker above the output bar for a peak power in
// watts, in the coordinates of the "Power" group box, limited to the scale.
int PeakMarkerLeft(int watts, PaType type);

// The left edge of the ALC marker for X on the output bar's full-level
// scale (0..333), in the coordinates of the "Power" group box.
int AlcMarkerLeft(int x);

// The band group's caption for an interface number (1..7 as sent with
// "I: "); none for other numbers.
std::optional<QString> BandCaption(int interface);

} // namespace MainRules
