// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/AmpStatus.h"

#include "link/Facts.h"

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
    if (!OnThisConnection(readings.band) || !Facts::IsBand(*readings.band))
        return std::nullopt;
    return *readings.band;
}
