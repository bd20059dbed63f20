// SPDX-License-Identifier: GPL-3.0-or-later
// What a change of the status meant, told as events: a transmission's start
// and its end with its record, an alarm raised or ended, a band reported,
// the PTT block confirmed. Pure: the status before and after, and the time.
#pragma once

#include "link/AmpStatus.h"

#include <QList>

#include <optional>

class TransmissionTracker {
public:
    // The events from before to after at nowMs; keeps after.transmission
    // (the one under way) and after.lastTransmission up to date. A
    // transmission cut short by a silence or stopped reports ended at
    // endedByMs, when its last report came.
    QList<LinkEvent> Update(const AmpStatus &before, AmpStatus &after, qint64 nowMs,
                            qint64 endedByMs);
    // A new transmission has no time of output yet.
    void Reset();

private:
    LinkEvent End(AmpStatus &after, qint64 endMs);

    qint64 outputSinceMs = 0; // since when outputNow holds
    int outputNow = 0;
    double outputWattMs = 0;
};

// The alarms, the band and the PTT block as the amplifier reported them
// from before to after, while it answered at both; pttSource: who asked for
// the block or release it confirms.
QList<LinkEvent> ReportedChanges(const AmpStatus &before, const AmpStatus &after,
                                 const std::optional<CommandSource> &pttSource);
