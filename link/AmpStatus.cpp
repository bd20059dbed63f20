// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/AmpStatus.h"

#include "link/Facts.h"

#include <cmath>

Liveness AmpStatus::Liveness() const {
    switch (Phase) {
    case LinkPhase::Start:
    case LinkPhase::Closed:
        return Liveness::Closed;
    case LinkPhase::Connecting:
        return Liveness::Connecting;
    case LinkPhase::Connected:
        return NoAnswer ? Liveness::NoAnswer : Liveness::Live;
    case LinkPhase::Waiting:
        return PortLost ? Liveness::Lost : Liveness::Waiting;
    }
    return Liveness::Closed;
}

std::optional<int> AmpStatus::Band() const {
    if (!ReadingsCurrent() || !readings.bandKnown || !Facts::IsBand(readings.band))
        return std::nullopt;
    return readings.band;
}

std::optional<int> AmpStatus::OutputW() const {
    if (!ReadingsCurrent())
        return std::nullopt;
    return readings.Transmits() ? readings.outputW : std::optional<int>(0);
}

std::optional<int> AmpStatus::ReflectedW() const {
    if (!ReadingsCurrent())
        return std::nullopt;
    return readings.Transmits() ? readings.reflectedW : std::optional<int>(0);
}

std::optional<double> AmpStatus::Swr() const {
    if (!ReadingsCurrent())
        return std::nullopt;
    if (TunerInLine() && readings.TunerSwr())
        return readings.TunerSwr();
    if (readings.outputW.value_or(0) > 0 && readings.Swr())
        return std::round(*readings.Swr() * 100) / 100;
    return std::nullopt;
}
