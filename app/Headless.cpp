// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Headless.h"

#include "config/Settings.h"
#include "history/HistoryStore.h"
#include "history/StateSample.h"
#include "link/AmpLink.h"
#include "mqtt/LinkBridge.h"
#include "mqtt/Publisher.h"
#include "remote/LinkTarget.h"
#include "remote/RemoteServer.h"
#include "serial/Transport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace Headless {

namespace {

int StopPipe[2] = {-1, -1};
volatile std::sig_atomic_t StopAsked = 0;

// A signal handler may only write: the rest runs on the event loop. A
// network port's open in progress gives up at once, so that the stop is
// not held up by a peer that does not answer.
void OnStopSignal(int signal) {
    const int saved = errno;
    StopAsked = 1;
    Transport::AbandonOpens();
    const char s = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(StopPipe[1], &s, 1);
    errno = saved;
}

QString SignalName(int signal) {
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("SIGTERM");
    }
}

// Why a name can never be a port, or an empty string. Anything else is
// tried, and waited for while it cannot be opened, with the reason logged.
QString ImpossiblePort(const QString &name) {
    // The longest path the system takes, with its terminating NUL.
    constexpr int MaxPath = 4096;
    if (name.toLocal8Bit().size() >= MaxPath)
        return QStringLiteral("the port name is %1 characters long; a device path has fewer "
                              "than %2")
            .arg(name.size())
            .arg(MaxPath);
    QString reason;
    if (Transport::IsTcpName(name) && !Transport::ParseTcpName(name, nullptr, &reason))
        return QStringLiteral("port %1: %2").arg(name, reason);
    return QString();
}

void Print(std::FILE *to, const QString &text) {
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), to);
    std::fflush(to);
}

void Log(const QString &event) {
    Print(stdout, event);
}

int Fail(const QString &why, int status) {
    Print(stderr, QStringLiteral("orvik-control: ") + why);
    return status;
}

QString EffectText(const LinkEffect &e) {
    switch (e.kind) {
    case LinkEffect::Kind::AlarmRaised:
        return QStringLiteral("alarm: ") + QString::fromLatin1(remote::AlarmText(e.alarm));
    case LinkEffect::Kind::AlarmsCleared:
        return QStringLiteral("alarms cleared");
    case LinkEffect::Kind::ShowAtuPanel:
        return QStringLiteral("tuner fitted");
    case LinkEffect::Kind::TuneFinished:
        return QStringLiteral("tuning finished");
    case LinkEffect::Kind::Disconnected:
        return QStringLiteral("port lost: ") + e.text;
    case LinkEffect::Kind::Message:
        break;
    }
    return QStringLiteral("message: ") + e.text;
}

} // namespace

int Run(int argc, char **argv, const CommandLine::Options &options) {
    // A closed standard output (a pipe whose reader is gone) is no reason to
    // stop serving: its lines are lost, the program goes on. SIGHUP (the
    // terminal or the session gone) stops it as SIGTERM does.
    ::signal(SIGPIPE, SIG_IGN);
    if (::pipe2(StopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return Fail(QStringLiteral("cannot watch for stop signals"), 1);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Orvik Remote Control"));
    app.setApplicationVersion(CommandLine::Version());

    if (!options.config.isEmpty() && !QFileInfo(options.config).isReadable())
        return Fail(QStringLiteral("cannot read %1").arg(options.config), 2);
    const Settings settings =
        options.config.isEmpty() ? Settings::Load() : Settings::Read(options.config);
    const QString port =
        !options.port.isEmpty() ? options.port : settings.configuration.port.value_or(QString());
    if (port.isEmpty())
        return Fail(QStringLiteral("no serial port: give --port NAME or Port= in "
                                   "[Configuration] of %1")
                        .arg(settings.path.isEmpty() ? Settings::FileName : settings.path),
                    2);
    if (const QString impossible = ImpossiblePort(port); !impossible.isEmpty())
        return Fail(impossible, 2);

    Log(QStringLiteral("orvik-control %1 headless, port %2").arg(CommandLine::Version(), port));
    AmpLink link;
    remote::LinkTarget target(&link);
    remote::RemoteServer server(&target);
    QObject::connect(&server, &remote::RemoteServer::Logged,
                     [](const QString &e) { Log(QStringLiteral("network: ") + e); });
    const QString serverError = server.Start(CommandLine::NetworkConfig(options, settings.network));
    if (!serverError.isEmpty())
        return Fail(serverError, 1);
    // The station's MQTT broker, when one is named; commands (Control=1) go
    // through the operator's own calls on the link.
    mqtt::LinkCommands commands(&link);
    mqtt::Publisher publisher(&commands);
    QObject::connect(&publisher, &mqtt::Publisher::Logged, [](const QString &line) { Log(line); });
    const QString mqttError =
        mqtt::PublishLink(&link, &publisher, CommandLine::MqttSettings(options, settings));
    if (!mqttError.isEmpty())
        return Fail(QStringLiteral("MQTT: ") + mqttError, 1);

    // The history: --history, else File= of the settings, else the default.
    HistoryStore history;
    QObject::connect(&history, &HistoryStore::Message, [](const QString &m) { Log(m); });
    history.SetRetentionDays(settings.history.days);
    const QString historyFile =
        options.history.isEmpty() ? settings.HistoryPath() : options.history;
    if (history.Open(historyFile) == HistoryStore::State::Recording)
        Log(QStringLiteral("history: recording into %1").arg(historyFile));
    RecordLink(link, history);

    LinkPhase previous = LinkPhase::Start;
    QObject::connect(&link, &AmpLink::ConnectionChanged, [&link, &previous](LinkPhase phase) {
        const QString name = link.State().PortName;
        switch (phase) {
        case LinkPhase::Connecting:
            Log(QStringLiteral("port %1 open, looking for the amplifier").arg(name));
            break;
        case LinkPhase::Connected:
            Log(QStringLiteral("amplifier connected on %1").arg(name));
            break;
        case LinkPhase::Closed:
            Log(QStringLiteral("port %1 closed").arg(name));
            break;
        case LinkPhase::Waiting:
            if (previous == LinkPhase::Connected)
                Log(QStringLiteral("port %1 lost, waiting for it").arg(name));
            else if (previous == LinkPhase::Connecting)
                Log(QStringLiteral("no amplifier on %1 (or the port went), waiting for it")
                        .arg(name));
            else
                Log(QStringLiteral("waiting for port %1").arg(name));
            break;
        case LinkPhase::Start:
            break;
        }
        previous = phase;
    });
    QObject::connect(&link, &AmpLink::StateChanged, [](const AmpStatus &s, unsigned changed) {
        if (changed & StateChange::NoAnswer)
            Log((s.NoAnswer ? QStringLiteral("no answer from the amplifier on %1")
                            : QStringLiteral("amplifier on %1 answers again"))
                    .arg(s.PortName));
    });
    QObject::connect(&link, &AmpLink::Effect, [](const LinkEffect &e) { Log(EffectText(e)); });

    // The stop may come while the port opens (inside the link's call, or
    // before the event loop runs): the handler only asks the loop to end,
    // and everything is closed once it has.
    bool stopping = false;
    QObject::connect(&link, &AmpLink::PortWaitReason, [&link](const QString &reason) {
        if (!StopAsked) // an open given up for the stop has no reason to tell
            Log(QStringLiteral("cannot open port %1: %2").arg(link.State().PortName, reason));
    });
    QSocketNotifier stop(StopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [&] {
        char s = 0;
        [[maybe_unused]] const ssize_t n = ::read(StopPipe[0], &s, 1);
        if (stopping)
            return;
        stopping = true;
        Log(QStringLiteral("stopping on %1").arg(SignalName(s)));
        app.quit();
    });

    // Nobody is there to press Open Port: a port that is missing, lost, or
    // where the amplifier does not answer is tried again every second.
    link.SetAutoReconnect(true);
    link.WaitForPort(port);
    link.ReconnectTick(); // at once when the port is there
    const int status = stopping ? 0 : app.exec();
    server.Stop();
    publisher.Stop(); // the state as closed, then "offline"
    link.Shutdown();  // closes the port; no event of it follows
    history.Close();
    Log(QStringLiteral("port %1 closed").arg(link.State().PortName));
    Log(QStringLiteral("stopped"));
    return status;
}

} // namespace Headless
