// SPDX-License-Identifier: GPL-3.0-or-later
// Time from the amplifier writing a report to OnReceive delivering it, over
// the direct pseudo-terminal and over ser2net in front of another one, in the
// same run with the same Delay. Samples alternate between the two and start
// at a random phase of the reader's poll, so both see the same spread.
#include "serial/SerialPort.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/Ser2net.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void Result(const char *name, double value, const char *unit, const char *target, const char *ok) {
    std::printf("RESULT|%s|%.3f|%s|%s|%s\n", name, value, unit, target, ok);
    std::fflush(stdout);
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Path {
    PtyPeer device;
    TSerialPort port;
    QElapsedTimer clock;
    qint64 arrivedNs = -1;
    QByteArray received;
    std::vector<double> samples;
};

// One report through one path; -1 when it does not arrive within 2 s.
double Sample(Path &p, const QByteArray &report) {
    p.received.clear();
    p.arrivedNs = -1;
    p.clock.start();
    p.device.write(report);
    while (p.arrivedNs < 0 && p.clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return p.arrivedNs < 0 ? -1 : double(p.arrivedNs) / 1e6;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    // ser2net as installed, and with its wait for a pause in the serial data
    // (chardelay: two characters at the line's rate, at least 1 ms) turned off.
    Path direct, bridged, bridgedNoWait;
    Ser2net server, serverNoWait;
    if (!direct.device.ok() || !bridged.device.ok() || !bridgedNoWait.device.ok() ||
        !server.Start(bridged.device.devicePath()) ||
        !serverNoWait.Start(bridgedNoWait.device.devicePath(),
                            QStringLiteral("    chardelay: false\n"))) {
        std::fprintf(stderr, "cannot start ser2net in front of a pseudo-terminal\n");
        return 1;
    }
    direct.port.SetPortName(direct.device.devicePath());
    bridged.port.SetPortName(server.Name());
    bridgedNoWait.port.SetPortName(serverNoWait.Name());
    const QByteArray report("O: 850\r\n");
    for (Path *p : {&direct, &bridged, &bridgedNoWait}) {
        p->port.OnReceive = [p, &report](TSerialPort *, const QByteArray &b) {
            p->received += b;
            if (p->arrivedNs < 0 && p->received.size() >= report.size())
                p->arrivedNs = p->clock.nsecsElapsed();
        };
        p->port.Open();
    }
    QRandomGenerator random(15);
    // The program's Delay, then a short one where the transport's own cost shows.
    for (const int delay : {100, 5}) {
        const int samples = delay >= 50 ? 60 : 300;
        for (Path *p : {&direct, &bridged, &bridgedNoWait}) {
            p->port.SetDelay(std::uint32_t(delay));
            p->samples.clear();
        }
        for (int i = 0; i < samples; ++i) {
            for (Path *p : {&direct, &bridged, &bridgedNoWait}) {
                QElapsedTimer pause;
                pause.start();
                const int phase = int(random.bounded(delay + 1));
                while (pause.elapsed() < phase)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                const double ms = Sample(*p, report);
                if (ms >= 0)
                    p->samples.push_back(ms);
            }
        }
        const double d = Median(direct.samples);
        const double b = Median(bridged.samples);
        const double n = Median(bridgedNoWait.samples);
        const QByteArray tag = "serial_latency_delay" + QByteArray::number(delay);
        // At the program's Delay the poll phase dominates (median spread of a
        // few ms over 60 samples): those figures are context, the target is
        // checked at the short Delay.
        const bool checked = delay < 50;
        const char *target = checked ? "<= 2" : "-";
        Result((tag + "_direct_median").constData(), d, "ms", "-", "-");
        Result((tag + "_ser2net_median").constData(), b, "ms", "-", "-");
        Result((tag + "_ser2net_minus_direct").constData(), b - d, "ms", target,
               !checked       ? "-"
               : b - d <= 2.0 ? "yes"
                              : "NO");
        Result((tag + "_ser2net_nochardelay_minus_direct").constData(), n - d, "ms", target,
               !checked       ? "-"
               : n - d <= 2.0 ? "yes"
                              : "NO");
        const size_t got =
            direct.samples.size() + bridged.samples.size() + bridgedNoWait.samples.size();
        Result((tag + "_lost").constData(), double(3 * size_t(samples) - got), "", "0",
               got == 3 * size_t(samples) ? "yes" : "NO");
    }
    for (Path *p : {&direct, &bridged, &bridgedNoWait})
        p->port.Close();
    return 0;
}
