// SPDX-License-Identifier: GPL-3.0-or-later
// Times a Position change of the 401 x 33 output meter (re-composition from
// the cached bar picture) against a paint that rebuilds the gradient, both as
// whole screen paints and as the bare off-screen composition, and prints the
// ratios. Run with QT_QPA_PLATFORM=offscreen where there is no display.
#include "widgets/BarMeter.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

double MicrosecondsPer(int rounds, const std::function<void(int)> &step) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i)
        step(i);
    return double(timer.nsecsElapsed()) / 1000.0 / rounds;
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3000;

    TBarMeter meter;
    meter.resize(401, 33);
    meter.SetMax(1200);
    meter.SetShowPosText(false);
    meter.show();
    QCoreApplication::processEvents();

    // Alternate between two readings so that every call is a real change.
    const double positionPaint =
        MicrosecondsPer(rounds, [&](int i) { meter.SetPosition(i % 2 ? 850 : 400); });
    const int buildsBefore = meter.BarPictureBuilds();
    const double rebuildPaint = MicrosecondsPer(rounds, [&](int) { meter.repaint(); });
    const bool rebuilt = meter.BarPictureBuilds() - buildsBefore == rounds;

    const double composeCached = MicrosecondsPer(rounds, [&](int) { meter.Compose(false); });
    const double composeRebuild = MicrosecondsPer(rounds, [&](int) { meter.Compose(true); });

    std::printf("output meter 401 x 33, %d rounds\n", rounds);
    std::printf("screen paint:  position change %8.2f us, full rebuild %8.2f us, ratio %.2f\n",
                positionPaint, rebuildPaint, rebuildPaint / positionPaint);
    std::printf("composition:   cached bar      %8.2f us, rebuild      %8.2f us, ratio %.2f\n",
                composeCached, composeRebuild, composeRebuild / composeCached);
    if (!rebuilt) {
        std::printf("the framework paints did not rebuild the bar picture\n");
        return 1;
    }
    return 0;
}
