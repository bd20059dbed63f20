// SPDX-License-Identifier: GPL-3.0-or-later
// Automatic reconnection: the panel connected to the simulated amplifier
// with "Reconnect automatically" on; the amplifier's device is unplugged and
// replugged --cycles times. Each time: from the moment the device is there
// again to the panel connected (identified) again. Median and maximum.
#include "BenchCommon.h"

#include <QElapsedTimer>
#include <QFileInfo>

int main(int argc, char **argv) {
    int cycles = 50;
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--cycles") == 0)
            cycles = QByteArray(argv[i + 1]).toInt();
    QApplication app(argc, argv);
    bench::ConnectedPanel panel;
    if (!panel.Start())
        return 1;
    AmpLink &link = panel.main->Link;
    link.SetAutoReconnect(true);
    std::vector<double> back;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        panel.sim.say("unplug");
        if (!QTest::qWaitFor([&] { return link.State().IsWaiting(); }, 5000)) {
            std::fprintf(stderr, "cycle %d: the loss was not seen\n", cycle + 1);
            return 1;
        }
        panel.sim.say("replug");
        // The device's return, seen as the link name resolving again.
        QElapsedTimer wait;
        wait.start();
        while (!QFileInfo::exists(panel.link) && wait.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QElapsedTimer t;
        t.start();
        while (!link.State().IsConnected() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        if (!link.State().IsConnected()) {
            std::fprintf(stderr, "cycle %d: not back\n", cycle + 1);
            return 1;
        }
        back.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    bench::Result("reconnect_median_ms", bench::Percentile(back, 50), "ms", "<= 2000",
                  bench::Percentile(back, 50) <= 2000);
    const double worst = *std::max_element(back.begin(), back.end());
    bench::Result("reconnect_max_ms", worst, "ms", "<= 2000", worst <= 2000);
    return 0;
}
