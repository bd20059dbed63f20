// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Readings.h"

#include <algorithm>
#include <cmath>

double SwrFromPower(double forwardW, double reflectedW) {
    if (!(forwardW > 0))
        return 1.0;
    if (!(reflectedW > 0))
        return 1.0;
    if (reflectedW >= forwardW)
        return SwrLimit;
    const double rho = std::sqrt(reflectedW / forwardW);
    return std::min(SwrLimit, (1 + rho) / (1 - rho));
}
