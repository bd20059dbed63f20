// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/BandPlan.h"

namespace BandPlan {

// Region 2 gives the widest 160 m, 80 m, 40 m and 6 m; the others are the
// same everywhere. 60 m has no filter of its own on this amplifier.
const Segment Segments[] = {
    {1, "160 m", 1800000, 2000000},  {2, "80 m", 3500000, 4000000},
    {3, "40 m", 7000000, 7300000},   {4, "30 m", 10100000, 10150000},
    {4, "20 m", 14000000, 14350000}, {5, "17 m", 18068000, 18168000},
    {5, "15 m", 21000000, 21450000}, {6, "12 m", 24890000, 24990000},
    {6, "10 m", 28000000, 29700000}, {7, "6 m", 50000000, 54000000},
};
const int SegmentCount = int(sizeof Segments / sizeof Segments[0]);

int BandOf(qint64 hz) {
    for (const Segment &s : Segments)
        if (hz >= s.lowHz && hz <= s.highHz)
            return s.band;
    return 0;
}

qint64 LowerEdge(int band) {
    for (const Segment &s : Segments)
        if (s.band == band)
            return s.lowHz;
    return 0;
}

} // namespace BandPlan
