// SPDX-License-Identifier: GPL-3.0-or-later
// The amplifier on an MQTT broker (Debian's mosquitto, started here on
// 127.0.0.1 as the tests start it), three figures:
//  - the panel connected to the simulator, publishing: from the simulator
//    writing "O: n" to a subscriber getting the state with output_w n,
//    beside the time the report took to reach the link (the link's state
//    change), median and 99th percentile;
//  - the same panel's report-to-meter latency (as bench_latency measures
//    it) in slices with and without a publisher, alternating, so that the
//    machine's other work weighs on both alike;
//  - N headless programs on N simulators, all transmitting, on one broker
//    for --seconds (60 by default): every state and event message each
//    program says it published against what one subscriber received, and
//    the CPU each program used.
#include "BenchCommon.h"

#include "mqtt/LinkBridge.h"
#include "mqtt/Publisher.h"
#include "tests/mqtt/Mosquitto.h"
#include "widgets/BarMeter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <numeric>

namespace {

using Clock = std::chrono::steady_clock;

qint64 NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

int MsOfDay() {
    return QTime::currentTime().msecsSinceStartOfDay();
}

// Notes the time of the meter's paints (as bench_latency does).
class PaintClock : public QObject {
public:
    using QObject::QObject;
    int lastPaintMs = 0;
    qint64 lastPaintUs = 0;
    int paintedPosition = -1;
    TBarMeter *meter = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == meter && event->type() == QEvent::Paint) {
            lastPaintMs = MsOfDay();
            lastPaintUs = NowUs();
            paintedPosition = meter->Position();
        }
        return false;
    }
};

// The latest state on topic with output_w watts that the watcher got.
std::optional<Watcher::Message> StateWith(Watcher &w, const QByteArray &topic, int watts) {
    const QByteArray field = "\"output_w\":" + QByteArray::number(watts) + ',';
    const QList<Watcher::Message> got = w.Messages(topic);
    for (auto it = got.rbegin(); it != got.rend(); ++it)
        if (it->payload.contains(field))
            return *it;
    return std::nullopt;
}

// Live (not retained) messages on topic.
long LiveCount(Watcher &w, const QByteArray &topic) {
    const QList<Watcher::Message> got = w.Messages(topic);
    return long(std::count_if(got.begin(), got.end(),
                              [](const Watcher::Message &m) { return !m.retained; }));
}

QString WriteFile(const QString &path, const QByteArray &text) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text);
    f.close();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return path;
}

int Option(const QStringList &args, const char *name, int value) {
    const qsizetype i = args.indexOf(QLatin1String(name));
    return i > 0 && i + 1 < args.size() ? args.at(i + 1).toInt() : value;
}

// The CPU time a process used so far, in seconds (/proc/PID/stat).
double CpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // utime and stime are the 14th and 15th fields; the list starts at the 3rd.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(::sysconf(_SC_CLK_TCK));
}

struct Reading {
    int watts = 0;
    bool publishing = false;
    int paintMs = 0, linkMs = 0, subscriberMs = 0;
    qint64 linkUs = 0, paintUs = 0, subscriberUs = 0;
};

// The panel: report-to-link, report-to-subscriber and report-to-meter.
bool PanelFigures(const Mosquitto &broker, int readings) {
    bench::ConnectedPanel panel;
    if (!panel.Start())
        return false;
    AmpLink &link = panel.windows->Link();
    const int delay = int(link.Port()->Delay());
    PaintClock clock;
    clock.meter = panel.ui.output;
    panel.ui.output->installEventFilter(&clock);
    Watcher subscriber(broker.port);

    mqtt::Settings settings;
    settings.broker = broker.Url();
    settings.username = QStringLiteral("orvik");
    settings.passwordFile = WriteFile(broker.File("bench-password"), Mosquitto::Password);
    settings.topic = QStringLiteral("orvik/panel");
    const QByteArray state = "orvik/panel/state";
    mqtt::Config config;
    if (const QString e = mqtt::Prepare(settings, &config);
        !e.isEmpty() || !subscriber.Subscribed()) {
        std::fprintf(stderr, "bench_mqtt: %s\n", qPrintable(e));
        return false;
    }

    Reading now;
    QObject::connect(&link, &AmpLink::StateChanged, [&now](const AmpStatus &s, unsigned) {
        if (now.linkUs == 0 && s.readings.outputW == now.watts) {
            now.linkUs = NowUs();
            now.linkMs = MsOfDay();
        }
    });
    std::vector<Reading> done;
    QRandomGenerator rng(9);
    const int slices = 10; // alternating, publisher off first
    for (int slice = 0; slice < slices; ++slice) {
        std::unique_ptr<mqtt::Publisher> publisher;
        if (slice % 2) {
            publisher = std::make_unique<mqtt::Publisher>(nullptr);
            if (!publisher->Start(config).isEmpty() ||
                !QTest::qWaitFor(
                    [&] {
                        return publisher->CurrentStatus() == mqtt::Publisher::Status::Connected;
                    },
                    5000))
                return false;
            mqtt::Follow(&link, publisher.get());
        }
        for (int i = 0; i < readings / slices; ++i) {
            now = Reading();
            now.watts = 100 + int(done.size()) % 900;
            now.publishing = publisher != nullptr;
            // Past the publisher's 100 ms between two states, at a random
            // point of the reader's poll cycle.
            bench::Run(110 + int(rng.bounded(delay)));
            panel.sim.say("say O: " + QByteArray::number(now.watts));
            if (!QTest::qWaitFor(
                    [&] {
                        return clock.paintedPosition == now.watts &&
                               (!publisher || StateWith(subscriber, state, now.watts));
                    },
                    3000)) {
                std::fprintf(stderr, "bench_mqtt: reading %d never shown or published\n",
                             now.watts);
                return false;
            }
            now.paintMs = clock.lastPaintMs;
            now.paintUs = clock.lastPaintUs;
            if (publisher) {
                const Watcher::Message m = *StateWith(subscriber, state, now.watts);
                now.subscriberUs = m.arrivedUs;
                now.subscriberMs = m.arrivedMsOfDay;
            }
            done.push_back(now);
        }
    }
    // The simulator's log holds the moment of each write.
    size_t next = 0;
    std::vector<double> toLink, toSubscriber, linkToSubscriber, meter[2], linkToMeter[2];
    for (const sim::LogRecord &r : panel.sim.logRecords()) {
        if (next >= done.size() || r.kind != sim::LogKind::Sent ||
            r.bytes != "O: " + QByteArray::number(done[next].watts) + "\r\n")
            continue;
        const Reading &d = done[next++];
        const int written = r.time.msecsSinceStartOfDay();
        meter[d.publishing].push_back(d.paintMs - written);
        linkToMeter[d.publishing].push_back(double(d.paintUs - d.linkUs) / 1000);
        if (d.publishing) {
            toLink.push_back(d.linkMs - written);
            toSubscriber.push_back(d.subscriberMs - written);
            linkToSubscriber.push_back(double(d.subscriberUs - d.linkUs) / 1000);
        }
    }
    if (next != done.size()) {
        std::fprintf(stderr, "bench_mqtt: only %zu of %zu writes found in the simulator's log\n",
                     next, done.size());
        return false;
    }
    bench::Info("mqtt_report_to_link_median", bench::Percentile(toLink, 50), "ms");
    bench::Info("mqtt_report_to_link_p99", bench::Percentile(toLink, 99), "ms");
    bench::Info("mqtt_report_to_subscriber_median", bench::Percentile(toSubscriber, 50), "ms");
    bench::Info("mqtt_report_to_subscriber_p99", bench::Percentile(toSubscriber, 99), "ms");
    const double median = bench::Percentile(linkToSubscriber, 50);
    bench::Result("mqtt_link_to_subscriber_median", median, "ms", "<= 5", median <= 5);
    bench::Info("mqtt_link_to_subscriber_p99", bench::Percentile(linkToSubscriber, 99), "ms");
    // The report's way to the link is the same with and without a
    // publisher, and where it falls in the reader's poll cycle spreads it
    // by tens of ms; the publisher acts between the link and the meter, so
    // that part is the one compared.
    bench::Info("mqtt_meter_latency_median_without", bench::Percentile(meter[0], 50), "ms");
    bench::Info("mqtt_meter_latency_median_publishing", bench::Percentile(meter[1], 50), "ms");
    const double off = bench::Percentile(linkToMeter[0], 50);
    const double on = bench::Percentile(linkToMeter[1], 50);
    bench::Info("mqtt_link_to_meter_median_without", off, "ms");
    bench::Info("mqtt_link_to_meter_median_publishing", on, "ms");
    bench::Info("mqtt_link_to_meter_p99_without", bench::Percentile(linkToMeter[0], 99), "ms");
    bench::Info("mqtt_link_to_meter_p99_publishing", bench::Percentile(linkToMeter[1], 99), "ms");
    bench::Result("mqtt_meter_latency_median_increase", on - off, "ms", "<= 1", on - off <= 1);
    return true;
}

// N headless programs, each on its simulator, transmitting for seconds.
bool ManyPrograms(const Mosquitto &broker, int programs, int seconds) {
    const QDir here(QCoreApplication::applicationDirPath());
    Watcher subscriber(broker.port);
    const QString password = WriteFile(broker.File("many-password"), Mosquitto::Password);
    struct Station {
        SimProcess sim;
        QProcess program;
        QByteArray out;
        double cpu = 0;
    };
    std::vector<std::unique_ptr<Station>> stations;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (int i = 1; i <= programs; ++i) {
        auto st = std::make_unique<Station>();
        if (!st->sim.start())
            return false;
        const QString ini = WriteFile(broker.File(qPrintable(QStringLiteral("many%1.ini").arg(i))),
                                      "[MQTT]\nUsername=orvik\nPasswordFile=" + password.toUtf8() +
                                          "\nTopic=orvik/many" + QByteArray::number(i) + '\n');
        st->program.setProcessEnvironment(env);
        st->program.start(here.filePath(QStringLiteral("orvik-control")),
                          {QStringLiteral("--headless"), QStringLiteral("--port"),
                           st->sim.devicePath(), QStringLiteral("--config"), ini,
                           QStringLiteral("--mqtt"), broker.Url()});
        stations.push_back(std::move(st));
    }
    // Each has told the amplifier's settings (its version last).
    for (int i = 1; i <= programs; ++i)
        if (!QTest::qWaitFor(
                [&] {
                    return subscriber.Saw("orvik/many" + QByteArray::number(i) + "/state",
                                          "\"firmware\":\"3.30\"", 0);
                },
                20000)) {
            std::fprintf(stderr, "bench_mqtt: program %d never published its amplifier\n", i);
            return false;
        }
    const QByteArray base = "orvik/many";
    const auto count = [&](const char *leaf) {
        long n = 0;
        for (int i = 1; i <= programs; ++i)
            n += LiveCount(subscriber, base + QByteArray::number(i) + leaf);
        return n;
    };
    const long statesBefore = count("/state");
    const double brokerCpu = CpuSeconds(broker.proc.processId());
    for (auto &st : stations) {
        st->sim.say("tx 850 12 3600");
        st->cpu = CpuSeconds(st->program.processId());
    }
    QElapsedTimer run;
    run.start();
    bench::Run(seconds * 1000);
    const double elapsed = double(run.elapsed()) / 1000;
    const long statesDuring = count("/state") - statesBefore;
    const double brokerPercent = 100 * (CpuSeconds(broker.proc.processId()) - brokerCpu) / elapsed;
    std::vector<double> cpu;
    for (auto &st : stations) {
        cpu.push_back(100 * (CpuSeconds(st->program.processId()) - st->cpu) / elapsed);
        st->program.terminate();
    }
    // Each says at its end how many states and events it published.
    static const QRegularExpression published(
        QStringLiteral("stopped; (\\d+) states and (\\d+) events published"));
    long expected = 0;
    for (int i = 1; i <= programs; ++i) {
        Station &st = *stations[size_t(i - 1)];
        st.program.waitForFinished(10000);
        st.out += st.program.readAllStandardOutput();
        const QRegularExpressionMatch m = published.match(QString::fromUtf8(st.out));
        if (!m.hasMatch()) {
            std::fprintf(stderr, "bench_mqtt: program %d did not tell what it published\n", i);
            return false;
        }
        expected += m.captured(1).toLong() + m.captured(2).toLong();
    }
    // What is still on its way arrives within a moment; a shortfall stays.
    (void)QTest::qWaitFor([&] { return count("/state") + count("/event") >= expected; }, 5000);
    const long delivered = count("/state") + count("/event");
    const QByteArray tag =
        QByteArray::number(programs) + "_programs_" + QByteArray::number(seconds) + "s";
    bench::Info(("mqtt_expected_" + tag).constData(), double(expected), "messages");
    bench::Info(("mqtt_received_" + tag).constData(), double(delivered), "messages");
    bench::Info(("mqtt_states_per_program_per_s_" + tag).constData(),
                double(statesDuring) / programs / elapsed, "states/s");
    bench::Result(("mqtt_delivered_" + tag).constData(),
                  expected > 0 ? double(delivered) / double(expected) : 0, "x expected", "= 1",
                  expected > 0 && delivered == expected);
    bench::Info(("mqtt_cpu_per_program_mean_" + tag).constData(),
                std::accumulate(cpu.begin(), cpu.end(), 0.0) / double(cpu.size()), "% of a core");
    bench::Info(("mqtt_cpu_per_program_max_" + tag).constData(),
                *std::max_element(cpu.begin(), cpu.end()), "% of a core");
    bench::Info(("mqtt_broker_cpu_" + tag).constData(), brokerPercent, "% of a core");
    return true;
}

} // namespace

int main(int argc, char **argv) {
    Runtime::TApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int readings = Option(args, "--readings", 300);
    const int programs = Option(args, "--programs", 10);
    const int seconds = Option(args, "--seconds", 60);
    Mosquitto broker;
    if (!broker.Start()) {
        std::fprintf(stderr, "bench_mqtt: mosquitto did not start: %s\n",
                     broker.proc.readAll().constData());
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("ORVIK_SIM"))
        qputenv("ORVIK_SIM", QDir(QCoreApplication::applicationDirPath())
                                 .filePath(QStringLiteral("orvik-sim"))
                                 .toLocal8Bit());
    if (!PanelFigures(broker, readings) || !ManyPrograms(broker, programs, seconds))
        return 1;
    return 0;
}
