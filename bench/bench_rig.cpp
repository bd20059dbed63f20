// SPDX-License-Identifier: GPL-3.0-or-later
// Following the radio: the headless program on the simulated amplifier and
// Hamlib's rigctld (its dummy radio). From the radio's frequency set in
// rigctld (the moment the benchmark writes "F HZ" to it) to the band
// command on the amplifier's line (the simulator's log time of "B: n"),
// over --changes changes to another band group, at random moments of the
// poll cycle: median and p99, the settle time included. Then --changes / 10
// changes made while the amplifier transmits: each must reach the line
// after the transmission ends, none before.
#include "BenchCommon.h"

#include "tests/common/Headless.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// A frequency in each band group, 160 m to 6 m.
constexpr qint64 BandHz[] = {1850000, 3600000, 7100000, 14200000, 18100000, 28500000, 50100000};

QList<sim::LogRecord> BandLines(const SimProcess &sim) {
    QList<sim::LogRecord> out;
    for (const sim::LogRecord &r : sim.logRecords())
        if (r.kind == sim::LogKind::Received && r.bytes.startsWith("B: "))
            out << r;
    return out;
}

bool SetFrequency(QTcpSocket *rig, qint64 hz) {
    rig->write("F " + QByteArray::number(hz) + '\n');
    QByteArray reply;
    while (!reply.contains('\n') && rig->waitForReadyRead(2000))
        reply += rig->readAll();
    return reply.startsWith("RPRT 0");
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    int changes = 50;
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--changes") == 0)
            changes = QByteArray(argv[i + 1]).toInt();
    if (qEnvironmentVariableIsEmpty("ORVIK_SIM"))
        qputenv("ORVIK_SIM", QDir(QCoreApplication::applicationDirPath())
                                 .filePath(QStringLiteral("orvik-sim"))
                                 .toLocal8Bit());
    QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", dir.path().toLocal8Bit());
    SimProcess sim;
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QProcess rigctld;
    rigctld.start(QStringLiteral("rigctld"),
                  {QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-P"),
                   QStringLiteral("RIG"), QStringLiteral("-T"), QStringLiteral("127.0.0.1"),
                   QStringLiteral("-t"), QString::number(port)});
    QTcpSocket rig;
    for (int i = 0; i < 50 && rig.state() != QAbstractSocket::ConnectedState; ++i) {
        rig.connectToHost(QHostAddress::LocalHost, port);
        if (!rig.waitForConnected(200)) {
            rig.abort();
            bench::Run(100);
        }
    }
    if (rig.state() != QAbstractSocket::ConnectedState) {
        std::fprintf(stderr, "rigctld did not start\n");
        return 1;
    }
    const QString ini = dir.filePath(QStringLiteral("empty.ini"));
    QFile(ini).open(QIODevice::WriteOnly);
    // The program beside the benchmark in the build folder, with no display.
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    program.setProcessEnvironment(env);
    program.start(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("orvik-control")),
        {QStringLiteral("--headless"), QStringLiteral("--port"), sim.devicePath(),
         QStringLiteral("--config"), ini, QStringLiteral("--rig"),
         QStringLiteral("rigctld://127.0.0.1:%1").arg(port)});
    QByteArray out;
    if (!AwaitOutput(&program, &out, "rig: connected to", 1, 10000) ||
        !AwaitOutput(&program, &out, "amplifier connected", 1, 10000)) {
        std::fprintf(stderr, "the program did not start: %s%s\n", out.constData(),
                     program.readAllStandardError().constData());
        return 1;
    }
    bench::Run(1500); // the start-up burst is over

    std::vector<double> latencies;
    int band = 2; // the simulated amplifier starts on 40 m
    // To another band group each time.
    auto change = [&](QTime *at) {
        band = (band + 1 + int(QRandomGenerator::global()->bounded(5))) % 7;
        *at = QTime::currentTime();
        return SetFrequency(&rig, BandHz[band]);
    };
    for (int i = 0; i < changes; ++i) {
        bench::Run(int(QRandomGenerator::global()->bounded(250)));
        const qsizetype before = BandLines(sim).size();
        QTime at;
        if (!change(&at))
            return std::fprintf(stderr, "rigctld refused a frequency\n"), 1;
        QDeadlineTimer deadline(5000);
        while (BandLines(sim).size() == before && !deadline.hasExpired())
            bench::Run(5);
        const QList<sim::LogRecord> lines = BandLines(sim);
        if (lines.size() == before) {
            std::fprintf(stderr, "change %d: no band command\n", i + 1);
            return 1;
        }
        latencies.push_back(double(at.msecsTo(lines.at(before).time)));
        bench::Run(300);
    }

    // Changes during transmissions: each waits for the transmission's end.
    int early = 0;
    const int transmissions = std::max(1, changes / 10);
    for (int i = 0; i < transmissions; ++i) {
        const qsizetype before = BandLines(sim).size();
        sim.say("tx 500 10 2");
        bench::Run(400);
        QTime at;
        if (!change(&at))
            return 1;
        bench::Run(2600);
        const QList<sim::LogRecord> lines = BandLines(sim);
        QTime txOff;
        for (const sim::LogRecord &r : sim.logRecords())
            if (r.kind == sim::LogKind::Sent && r.bytes.contains("TX: OFF") && r.time >= at)
                txOff = r.time;
        if (lines.size() == before)
            ++early; // not followed after the transmission either: as bad
        for (qsizetype k = before; k < lines.size(); ++k)
            if (!txOff.isValid() || lines.at(k).time < txOff)
                ++early;
        bench::Run(500);
    }
    program.terminate();
    program.waitForFinished(5000);
    rigctld.terminate();
    rigctld.waitForFinished(3000);

    const double median = bench::Percentile(latencies, 50);
    const double p99 = bench::Percentile(latencies, 99);
    bench::Result("rig_follow_median_ms", median, "ms", "< 1000", median < 1000);
    bench::Info("rig_follow_p99_ms", p99, "ms");
    bench::Result("rig_band_sent_during_tx", early, "commands", "0", early == 0);
    return 0;
}
