// Network control server against Hamlib's ampctld with its dummy amplifier
// (-m 1), same run, same machine: "l SWR" polled back to back by 1 and by 16
// clients, requests a second and the 99th percentile of the round trip.
// Our server runs on its own thread with its own event loop, as ampctld runs
// its own process; the clients are plain blocking sockets on their threads.
#include "BenchCommon.h"

#include "RemoteLoad.h"
#include "remote/RemoteServer.h"

#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Load {
    double requestsPerSecond = 0;
    double p99Ms = 0;
    bool ok = false;
};

// clients threads poll back to back for seconds.
Load Poll(quint16 port, int clients, double seconds) {
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
    std::vector<double> all;
    for (const auto &v : latencies)
        all.insert(all.end(), v.begin(), v.end());
    Load l;
    l.ok = !failed && !all.empty();
    l.requestsPerSecond = double(all.size()) / seconds;
    l.p99Ms = bench::Percentile(all, 99);
    return l;
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

    // Our server on its own thread.
    QThread serverThread;
    serverThread.start();
    QObject context;
    context.moveToThread(&serverThread);
    bench::FixedTarget target;
    remote::RemoteServer *server = nullptr;
    quint16 ourPort = 0;
    QMetaObject::invokeMethod(
        &context,
        [&] {
            server = new remote::RemoteServer(&target);
            remote::RemoteConfig config;
            config.listen = QStringLiteral("127.0.0.1:0");
            if (server->Start(config).isEmpty())
                ourPort = server->Port();
        },
        Qt::BlockingQueuedConnection);

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
    if (!ourPort || !theirsUp) {
        std::fprintf(stderr, "bench_remote: %s did not start\n",
                     ourPort ? "ampctld (libhamlib-utils)" : "the server");
        return 1;
    }

    Poll(ourPort, 1, 0.3); // warm-up
    Poll(theirPort, 1, 0.3);
    for (int clients : {1, 16}) {
        const Load ours = Poll(ourPort, clients, seconds);
        const Load theirs = Poll(theirPort, clients, seconds);
        const QByteArray tag =
            QByteArray::number(clients) + (clients == 1 ? "_client" : "_clients");
        bench::Info(("ampctld_l_swr_rps_" + tag).constData(), theirs.requestsPerSecond,
                    "requests/s");
        bench::Info(("ampctld_l_swr_p99_" + tag).constData(), theirs.p99Ms, "ms");
        const double ratio =
            theirs.requestsPerSecond > 0 ? ours.requestsPerSecond / theirs.requestsPerSecond : 0;
        bench::Info(("remote_l_swr_rps_" + tag).constData(), ours.requestsPerSecond, "requests/s");
        bench::Result(("remote_vs_ampctld_rps_" + tag).constData(), ratio, "x ampctld", ">= 1.0",
                      ours.ok && theirs.ok && ratio >= 1.0);
        bench::Result(("remote_l_swr_p99_" + tag).constData(), ours.p99Ms, "ms", "<= ampctld",
                      ours.ok && theirs.ok && ours.p99Ms <= theirs.p99Ms);
    }

    ampctld.terminate();
    ampctld.waitForFinished(5000);
    QMetaObject::invokeMethod(
        &context, [&] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return 0;
}
