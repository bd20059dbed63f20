// SPDX-License-Identifier: GPL-3.0-or-later
// Network control server against Hamlib's ampctld with its dummy amplifier
// (-m 1), same run, same machine: "l SWR" polled back to back by 1 and by 16
// clients, requests a second and the 99th percentile of the round trip; then
// one polling client alone and beside a client that floods (bytes without a
// newline; complete commands back to back), with how late the amplifier's
// poll reached the simulator meanwhile.
// Ours is the real program: orvik-control --headless, connected to the
// simulated amplifier, which transmits all the while (twenty power reports
// a second through the link); ampctld runs as its own process the same way.
// The clients are plain blocking sockets on their threads.
#include "BenchCommon.h"

#include "RemoteLoad.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

struct Load {
    std::vector<double> latencies; // ms, every request
    double seconds = 0;
    bool ok = true;
    double RequestsPerSecond() const {
        return seconds > 0 ? double(latencies.size()) / seconds : 0;
    }
};

// clients threads poll back to back for seconds; adds to *load.
void Poll(quint16 port, int clients, double seconds, Load *load) {
    std::vector<std::vector<double>> latencies{size_t(clients)};
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            const int fd = bench::ConnectTo(port);
            if (fd < 0) {
                failed = true;
                return;
            }
            auto &mine = latencies[size_t(c)];
            mine.reserve(200000);
            while (std::chrono::steady_clock::now() < end) {
                const auto t0 = std::chrono::steady_clock::now();
                if (!bench::RoundTrip(fd)) {
                    failed = true;
                    break;
                }
                const auto t1 = std::chrono::steady_clock::now();
                mine.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            }
            ::close(fd);
        });
    for (std::thread &t : threads)
        t.join();
    for (const auto &v : latencies)
        load->latencies.insert(load->latencies.end(), v.begin(), v.end());
    load->seconds += seconds;
    load->ok = load->ok && !failed;
}

// The longest time between two of the link's poll ticks (1 s apart) at the
// simulator, from..to; each tick's bare lines come in one burst. 0 when
// fewer than two ticks came.
double LongestPollInterval(const SimProcess &sim, const QTime &from, const QTime &to) {
    double longest = 0;
    int previous = -1, burst = -1;
    for (const sim::LogRecord &r : sim.logRecords()) {
        if (r.kind != sim::LogKind::Received || !r.bytes.isEmpty() || r.time < from || r.time > to)
            continue;
        const int ms = r.time.msecsSinceStartOfDay();
        if (previous < 0 || ms - previous > 500) {
            if (burst >= 0)
                longest = std::max(longest, double(ms - burst));
            burst = ms;
        }
        previous = ms;
    }
    return longest;
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    double seconds = 3;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--seconds")); i > 0 && i + 1 < args.size())
        seconds = args.at(i + 1).toDouble();

    // The simulated amplifier and our program on it, with no display.
    const QDir here(QCoreApplication::applicationDirPath());
    if (qEnvironmentVariableIsEmpty("ORVIK_SIM"))
        qputenv("ORVIK_SIM", here.filePath(QStringLiteral("orvik-sim")).toLocal8Bit());
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("amplifier"));
    SimProcess sim;
    if (!sim.start({QStringLiteral("--link"), link})) {
        std::fprintf(stderr, "bench_remote: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    QProcess ours;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    ours.setProcessEnvironment(env);
    ours.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ours.start(here.filePath(QStringLiteral("orvik-control")),
               {QStringLiteral("--headless"), QStringLiteral("--port"), link,
                QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    QByteArray log;
    const QDeadlineTimer deadline(10000);
    while (!log.contains("amplifier connected") && !deadline.hasExpired() &&
           ours.state() != QProcess::NotRunning) {
        ours.waitForReadyRead(50);
        log += ours.readAllStandardOutput();
    }
    static const QRegularExpression listening(QStringLiteral("listening on \\S+ port (\\d+)"));
    const quint16 ourPort = quint16(listening.match(QString::fromLatin1(log)).captured(1).toUInt());
    // Power reports flow for the whole run.
    sim.say("tx 850 12 3600");

    // Hamlib's daemon with its dummy amplifier.
    const quint16 theirPort = FreePort();
    QProcess ampctld;
    ampctld.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ampctld.start(QStringLiteral("ampctld"),
                  {QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-T"),
                   QStringLiteral("127.0.0.1"), QStringLiteral("-t"), QString::number(theirPort)});
    bool theirsUp = ampctld.waitForStarted(5000);
    for (int i = 0; theirsUp && i < 100; ++i) {
        const int fd = bench::ConnectTo(theirPort);
        if (fd >= 0) {
            ::close(fd);
            break;
        }
        QThread::msleep(50);
    }
    if (!ourPort || !log.contains("amplifier connected") || !theirsUp) {
        std::fprintf(stderr, "bench_remote: %s did not start\n",
                     ourPort ? "ampctld (libhamlib-utils)" : "orvik-control --headless");
        return 1;
    }

    Load warmUp;
    Poll(ourPort, 1, 0.3, &warmUp);
    Poll(theirPort, 1, 0.3, &warmUp);
    for (int clients : {1, 16}) {
        // Six alternating slices each, so that the machine's other work
        // (a shared machine) weighs on both alike.
        Load ours, theirs;
        for (int slice = 0; slice < 6; ++slice) {
            const bool oursFirst = slice % 2 == 0;
            Poll(oursFirst ? ourPort : theirPort, clients, seconds / 6,
                 oursFirst ? &ours : &theirs);
            Poll(oursFirst ? theirPort : ourPort, clients, seconds / 6,
                 oursFirst ? &theirs : &ours);
        }
        const bool ok =
            ours.ok && theirs.ok && !ours.latencies.empty() && !theirs.latencies.empty();
        const double ourP99 = bench::Percentile(ours.latencies, 99);
        const double theirP99 = bench::Percentile(theirs.latencies, 99);
        const QByteArray tag =
            QByteArray::number(clients) + (clients == 1 ? "_client" : "_clients");
        bench::Info(("ampctld_l_swr_rps_" + tag).constData(), theirs.RequestsPerSecond(),
                    "requests/s");
        bench::Info(("ampctld_l_swr_p99_" + tag).constData(), theirP99, "ms");
        const double ratio = theirs.RequestsPerSecond() > 0
                                 ? ours.RequestsPerSecond() / theirs.RequestsPerSecond()
                                 : 0;
        bench::Info(("remote_l_swr_rps_" + tag).constData(), ours.RequestsPerSecond(),
                    "requests/s");
        bench::Result(("remote_vs_ampctld_rps_" + tag).constData(), ratio, "x ampctld", ">= 1.0",
                      ok && ratio >= 1.0);
        bench::Result(("remote_l_swr_p99_" + tag).constData(), ourP99, "ms", "<= ampctld",
                      ok && ourP99 <= theirP99);
    }

    // One client polling alone and beside a flood, ours and ampctld in turn.
    const struct {
        const char *tag;
        QByteArray data;
    } floods[] = {{"alone", QByteArray()},
                  {"bytes_flood", QByteArray(65536, 'x')},
                  {"command_flood", QByteArray("l SWR\n").repeated(10000)}};
    double aloneMedian[2] = {0, 0};
    for (const auto &flood : floods) {
        for (const bool oursNow : {true, false}) {
            const quint16 port = oursNow ? ourPort : theirPort;
            const QTime from = QTime::currentTime();
            std::unique_ptr<bench::Flooder> flooder;
            if (!flood.data.isEmpty())
                flooder = std::make_unique<bench::Flooder>(port, flood.data, true);
            Load load;
            Poll(port, 1, seconds, &load);
            flooder.reset();
            const QByteArray tag =
                QByteArray(oursNow ? "remote_" : "ampctld_") + "poller_" + flood.tag;
            const double median = bench::Percentile(load.latencies, 50);
            if (flood.data.isEmpty()) {
                aloneMedian[oursNow] = median;
                bench::Info((tag + "_median").constData(), median, "ms");
            } else {
                bench::Result((tag + "_median").constData(), median, "ms", "<= alone + 1",
                              load.ok && median <= aloneMedian[oursNow] + 1);
            }
            bench::Info((tag + "_p99").constData(), bench::Percentile(load.latencies, 99), "ms");
            bench::Info((tag + "_max").constData(), bench::Percentile(load.latencies, 100), "ms");
            if (oursNow) {
                const double longest = LongestPollInterval(sim, from, QTime::currentTime());
                bench::Result(
                    ("remote_amplifier_poll_interval_max_" + QByteArray(flood.tag)).constData(),
                    longest, "ms", "<= 1050", longest > 0 && longest <= 1050);
            }
        }
    }

    // Ours still answers from a live link: the simulator's power reports
    // went on through the run.
    const int fd = bench::ConnectTo(ourPort);
    char answer[64] = {};
    const bool live = fd >= 0 && ::send(fd, "l PWRFORWARD\n", 13, 0) == 13 &&
                      ::recv(fd, answer, sizeof answer - 1, 0) > 0 && std::atoi(answer) > 0;
    if (fd >= 0)
        ::close(fd);
    bench::Info("remote_link_transmitting", live ? 1 : 0, "1 = yes");

    ampctld.terminate();
    ampctld.waitForFinished(5000);
    ours.terminate();
    ours.waitForFinished(5000);
    return 0;
}
