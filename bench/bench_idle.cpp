// SPDX-License-Identifier: GPL-3.0-or-later
// Idle cost of the connected panel: CPU time of the whole process (GUI and
// serial reader threads) over a period with the simulated amplifier idle,
// then over the same period while it transmits continuously (output and
// reverse power ten times a second), then transmitting with the History
// window open on the last hour; the peak resident memory of the panel alone
// (before the History window opens) and with that window. The panel
// records its history, as the program does.
#include "BenchCommon.h"

#include "historywindow/HistoryView.h"

#include <QElapsedTimer>

namespace {

// Percent of one core used while the event loop runs for seconds.
double CpuPercent(int seconds) {
    const double cpu0 = bench::ProcessCpuSeconds();
    QElapsedTimer t;
    t.start();
    bench::Run(seconds * 1000);
    return 100.0 * (bench::ProcessCpuSeconds() - cpu0) / (double(t.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char **argv) {
    Runtime::TApplication app(argc, argv);
    int seconds = 60;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--seconds")); i > 0 && i + 1 < args.size())
        seconds = args.at(i + 1).toInt();

    bench::ConnectedPanel panel;
    if (!panel.Start())
        return 1;
    QTemporaryDir state;
    if (!panel.windows->StartHistory(state.filePath(QStringLiteral("history.sqlite")), 30)
             .isEmpty())
        return 1;
    bench::Run(1000); // settle after the start-up queries

    const double idle = CpuPercent(seconds);
    panel.sim.say("tx 1000 20 " + QByteArray::number(2 * seconds + 10));
    bench::Run(500);
    const double transmitting = CpuPercent(seconds);
    const double panelMb = bench::StatusKb("VmHWM") / 1024.0;
    // From its module, as the program loads it.
    HistoryView *history = panel.windows->History();
    if (!history)
        return 1;
    history->Widget()->show();
    history->ShowSpan(3600);
    bench::Run(500);
    const double withHistory = CpuPercent(seconds);
    history->Widget()->hide();
    const double peakMb = bench::StatusKb("VmHWM") / 1024.0;

    bench::Result("cpu_idle", idle, "% of one core", "< 1", idle < 1);
    bench::Result("cpu_transmitting", transmitting, "% of one core", "< 3", transmitting < 3);
    bench::Result("cpu_transmitting_history_window_open", withHistory, "% of one core", "< 6",
                  withHistory < 6);
    bench::Result("rss_peak_panel", panelMb, "MB", "< 36", panelMb < 36);
    bench::Result("rss_peak", peakMb, "MB", "< 80", peakMb < 80);
    return panel.boxes.isEmpty() ? 0 : 1;
}
