// SPDX-License-Identifier: GPL-3.0-or-later
// Value rules of the main window's operator controls.
#include "app/MainRules.h"

#include "link/AmpStatus.h"

namespace MainRules {

std::array<QString, 5> ScaleTexts(PaType type) {
    if (type == PaType::Kw24)
        return {QStringLiteral("500W"), QStringLiteral(" 1kW"), QStringLiteral("1.5kW"),
                QStringLiteral("2kW"), QStringLiteral("2.4kW")};
    return {QStringLiteral("250W"), QStringLiteral("500W"), QStringLiteral("750W"),
            QStringLiteral("1kW"), QStringLiteral("1.2kW")};
}

int OutputBarPosition(int watts, PaType type) {
    if (type == PaType::Kw12)
        return watts > 1200 ? 1200 : watts;
    return (watts > 2400 ? 2400 : watts) / 2;
}

int PeakMarkerLeft(int watts, PaType type) {
    const bool kw12 = type == PaType::Kw12;
    const int limit = kw12 ? 1200 : 2400;
    return (watts > limit ? limit : watts) / (kw12 ? 3 : 6) + 8; // division cuts toward zero
}

int AlcMarkerLeft(int x) {
    return x + 8;
}

std::optional<QString> BandCaption(int interface) {
    // Numbered as the amplifier numbers them, not in menu order.
    switch (interface) {
    case 1:
        return QStringLiteral("Band (YAESU BCD)");
    case 2:
        return QStringLiteral("Band (YAESU FT817)");
    case 3:
        return QStringLiteral("Band (ICOM)");
    case 4:
        return QStringLiteral("Band (Kenwood)");
    case ManualInterface:
        return QStringLiteral("Band (Manual)");
    case 6:
        return QStringLiteral("Band (OTRSP)");
    case 7:
        return QStringLiteral("Band (Flex)");
    default:
        return std::nullopt;
    }
}

} // namespace MainRules
