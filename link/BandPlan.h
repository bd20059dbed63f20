// SPDX-License-Identifier: GPL-3.0-or-later
// The band plan: which of the amplifier's seven band groups holds a radio
// frequency. One table of the amateur allocations, each as wide as the
// widest of the three IARU regions gives it, so that a station anywhere
// finds its whole band; a frequency between them belongs to no band.
#pragma once

#include <QtGlobal>

namespace BandPlan {

struct Segment {
    int band;             // the amplifier's band number, 1..7
    const char *name;     // the allocation: "160 m", "30 m" ...
    qint64 lowHz, highHz; // both inclusive
};

// Ordered by frequency, so the first segment of a band is its lower edge.
extern const Segment Segments[];
extern const int SegmentCount;

// The band (1..7) that holds hz; 0 for none.
int BandOf(qint64 hz);
// The lowest frequency of a band in Hz; 0 for a number that is no band.
qint64 LowerEdge(int band);

} // namespace BandPlan
