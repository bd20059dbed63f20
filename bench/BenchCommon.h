// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the benchmark programs: result lines that scripts/bench
// collects into its table, percentiles, process CPU time and memory, and a
// panel connected to the simulated amplifier.
#pragma once

#include "tests/common/PanelFixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace bench {

// One figure: "RESULT|name|value|unit|target|ok". scripts/bench reads these.
inline void Result(const char *name, double value, const char *unit, const char *target, bool ok) {
    std::printf("RESULT|%s|%.3f|%s|%s|%s\n", name, value, unit, target, ok ? "yes" : "NO");
    std::fflush(stdout);
}

// A figure without a target (context for the others).
inline void Info(const char *name, double value, const char *unit) {
    std::printf("RESULT|%s|%.3f|%s|-|-\n", name, value, unit);
    std::fflush(stdout);
}

inline double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const double rank = p / 100.0 * double(v.size() - 1);
    const size_t lo = size_t(rank);
    const size_t hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (v[hi] - v[lo]) * (rank - double(lo));
}

// CPU time of the whole process (all threads), in seconds.
inline double ProcessCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
inline double StatusKb(const char *field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble();
    return 0;
}

// Keeps the event loop running for ms (timers, the serial reader's events),
// as the program's own loop runs: asleep until something happens. (A
// QTest::qWait wakes every 10 ms and would be counted as the panel's cost.)
inline void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The panel's windows talking to orvik-sim through the real serial code,
// as the program runs them: real timers, main window shown.
class ConnectedPanel : public PanelFixture {
public:
    ConnectedPanel() {
        Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) {
            std::fprintf(stderr, "message box: %s\n", qPrintable(c.text));
            boxes.append(c);
        });
    }

    // Starts the simulator, creates and shows the windows, opens the port
    // and waits until the start-up queries have been answered.
    bool Start(const QStringList &simArgs = {}) {
        // The benchmarks sit beside orvik-sim in the build folder.
        if (qEnvironmentVariableIsEmpty("ORVIK_SIM"))
            qputenv("ORVIK_SIM", QDir(QCoreApplication::applicationDirPath())
                                     .filePath(QStringLiteral("orvik-sim"))
                                     .toLocal8Bit());
        if (!start(simArgs, false)) {
            std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
            return false;
        }
        main->show();
        if (!connect(5000))
            return false;
        // The last start-up query's answer has been interpreted.
        return QTest::qWaitFor(
            [this] {
                return monitor().contains(QStringLiteral("+ ATU_INSTALLED: 0")) ||
                       monitor().contains(QStringLiteral("+ ATU_INSTALLED: 1"));
            },
            5000);
    }
};

} // namespace bench
