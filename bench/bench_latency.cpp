// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end latency: from the simulator writing "O: n" to the output meter
// showing n (the meter's first paint after its position became n), over
// many readings, with the serial component's default Delay. The reading
// times are spread at random over the reader's poll cycle. With --clients N
// the run is made twice as long and its second half has the panel's own
// network server running with N clients polling it at 10 Hz. With --history
// the run is made twice as long and its second half records the history;
// besides the whole latency it reports the part inside the program, from
// the chunk's arrival to the meter's paint, where recording adds its cost.
#include "BenchCommon.h"
#include "RemoteLoad.h"

#include "remote/RemoteServer.h"

#include "widgets/BarMeter.h"

#include <QDateTime>
#include <QHash>
#include <QRandomGenerator>

namespace {

// Notes the time of the meter's paints.
class PaintClock : public QObject {
public:
    using QObject::QObject;
    qint64 lastPaintMs = 0; // ms since the start of the day, like the simulator's log
    int paintedPosition = -1;
    TBarMeter *meter = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == meter && event->type() == QEvent::Paint) {
            lastPaintMs = QTime::currentTime().msecsSinceStartOfDay();
            paintedPosition = meter->Position();
        }
        return false;
    }
};

} // namespace

int main(int argc, char **argv) {
    Runtime::TApplication app(argc, argv);
    int readings = 500;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--readings"));
        i > 0 && i + 1 < args.size())
        readings = args.at(i + 1).toInt();
    int clients = 0;
    if (const qsizetype i = args.indexOf(QStringLiteral("--clients")); i > 0 && i + 1 < args.size())
        clients = args.at(i + 1).toInt();
    const bool history = args.contains(QStringLiteral("--history"));
    if (history)
        clients = 0;
    const int total = clients > 0 || history ? 2 * readings : readings;
    QTemporaryDir state;

    bench::ConnectedPanel panel;
    if (!panel.Start())
        return 1;
    MainWindow *form = panel.main;
    const int delay = int(form->Link.Port()->Delay());
    // Poll ticks go on as usual; they only send bare lines now.
    PaintClock clock;
    clock.meter = panel.ui.output;
    panel.ui.output->installEventFilter(&clock);
    // The chunk's arrival, to the meter's next paint.
    QElapsedTimer monotonic;
    monotonic.start();
    qint64 chunkNs = 0, paintNs = 0;
    QObject::connect(&panel.windows->Link(), &AmpLink::ChunkArrived,
                     [&] { chunkNs = monotonic.nsecsElapsed(); });
    struct PaintNs : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() == QEvent::Paint)
                onPaint();
            return false;
        }
    } paintNote;
    paintNote.onPaint = [&] { paintNs = monotonic.nsecsElapsed(); };
    panel.ui.output->installEventFilter(&paintNote);
    std::vector<double> inside;

    QHash<int, qint64> shownAt; // watts -> ms of the first paint showing it
    std::vector<double> latencies;
    QRandomGenerator rng(9);
    remote::RemoteServer *server = nullptr;
    std::unique_ptr<bench::Pollers> pollers;
    for (int i = 0; i < total; ++i) {
        if (history && i == readings &&
            !panel.windows->StartHistory(state.filePath(QStringLiteral("history.sqlite")), 30)
                 .isEmpty())
            return 1;
        if (clients > 0 && i == readings) {
            remote::RemoteConfig config;
            config.listen = QStringLiteral("127.0.0.1:0");
            if (!panel.windows->StartServer(config).isEmpty())
                return 1;
            server = panel.windows->Server();
            pollers = std::make_unique<bench::Pollers>(server->Port(), clients, 100);
        }
        const int watts = 100 + i % 900; // the output bar moves every time
        bench::Run(int(rng.bounded(delay)));
        panel.sim.say("say O: " + QByteArray::number(watts));
        if (!QTest::qWaitFor([&] { return clock.paintedPosition == watts; }, 3000)) {
            std::fprintf(stderr, "reading %d never shown\n", watts);
            return 1;
        }
        shownAt.insert(i, clock.lastPaintMs);
        inside.push_back(double(paintNs - chunkNs) / 1e6);
    }
    // The simulator's log holds the moment of each write.
    int matched = 0;
    int next = 0;
    for (const sim::LogRecord &r : panel.sim.logRecords()) {
        if (r.kind != sim::LogKind::Sent || !r.bytes.startsWith("O: ") || next >= total)
            continue;
        if (r.bytes != "O: " + QByteArray::number(100 + next % 900) + "\r\n")
            continue;
        latencies.push_back(double(shownAt.value(next) - r.time.msecsSinceStartOfDay()));
        ++next;
        ++matched;
    }
    const long answered = pollers ? long(pollers->answered) : 0;
    if (server)
        server->Stop(); // a poller waiting for its answer sees the connection end
    pollers.reset();
    if (matched != total) {
        std::fprintf(stderr, "only %d of %d writes found in the simulator's log\n", matched, total);
        return 1;
    }
    const std::vector<double> loaded(latencies.begin() + readings, latencies.end());
    latencies.resize(size_t(readings));
    const double median = bench::Percentile(latencies, 50);
    bench::Info("latency_delay", delay, "ms");
    bench::Result("latency_median", median, "ms",
                  qPrintable(QStringLiteral("<= %1").arg(delay + 5)), median <= delay + 5);
    bench::Info("latency_p99", bench::Percentile(latencies, 99), "ms");
    bench::Info("latency_max", bench::Percentile(latencies, 100), "ms");
    if (history) {
        const double recordingMedian = bench::Percentile(loaded, 50);
        const std::vector<double> insideWithout(inside.begin(), inside.begin() + readings);
        const std::vector<double> insideWith(inside.begin() + readings, inside.end());
        const double a = bench::Percentile(insideWithout, 50),
                     b = bench::Percentile(insideWith, 50);
        bench::Info("latency_median_recording_history", recordingMedian, "ms");
        bench::Info("latency_inside_median_without_history", a, "ms");
        bench::Info("latency_inside_median_recording_history", b, "ms");
        bench::Result("latency_inside_median_increase_recording_history", b - a, "ms", "<= 1",
                      b - a <= 1);
    }
    if (clients > 0) {
        const QByteArray tag = "_" + QByteArray::number(clients) + "_clients_10hz";
        const double loadedMedian = bench::Percentile(loaded, 50);
        bench::Info(("latency_median" + tag).constData(), loadedMedian, "ms");
        bench::Info(("latency_p99" + tag).constData(), bench::Percentile(loaded, 99), "ms");
        bench::Info(("network_answers" + tag).constData(), double(answered), "answers");
        bench::Result(("latency_median_increase" + tag).constData(), loadedMedian - median, "ms",
                      "<= 2", loadedMedian - median <= 2 && answered > 0);
    }
    return 0;
}
