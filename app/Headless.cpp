// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Headless.h"

#include "config/Settings.h"
#include "link/AmpLink.h"
#include "remote/LinkTarget.h"
#include "serial/Transport.h"
#include "station/Station.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace Headless {

namespace {

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
    if (!Station::CatchStopSignals())
        return Fail(QStringLiteral("cannot watch for stop signals"), 1);

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
    const Station::Plan plan = Station::Plan::Of(options, settings);
    Station station;
    AmpLink &link = station.Link();
    QObject::connect(&station, &Station::Logged, [](const QString &line) { Log(line); });
    QObject::connect(&station, &Station::HistoryMessage, [](const QString &m) { Log(m); });
    const QString serverError = station.StartServer(plan.network);
    if (!serverError.isEmpty())
        return Fail(serverError, 1);
    const QString mqttError = station.StartPublisher(plan.mqtt);
    if (!mqttError.isEmpty())
        return Fail(QStringLiteral("MQTT: ") + mqttError, 1);
    if (station.StartHistory(plan.historyFile, plan.historyDays) == HistoryStore::State::Recording)
        Log(QStringLiteral("history: recording into %1").arg(plan.historyFile));

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
    QObject::connect(&link, &AmpLink::PortWaitReason, [&link](const QString &reason) {
        if (!Station::StopSignalled()) // an open given up for the stop has no reason to tell
            Log(QStringLiteral("cannot open port %1: %2").arg(link.State().PortName, reason));
    });
    QObject::connect(&station, &Station::Stopping,
                     [](const QString &signal) { Log(QStringLiteral("stopping on ") + signal); });

    // Nobody is there to press Open Port: a port that is missing, lost, or
    // where the amplifier does not answer is tried again every second.
    link.SetAutoReconnect(true);
    link.WaitForPort(port);
    link.ReconnectTick(); // at once when the port is there
    const int status = station.StopRequested() ? 0 : app.exec();
    station.Stop();
    Log(QStringLiteral("port %1 closed").arg(link.State().PortName));
    Log(QStringLiteral("stopped"));
    return status;
}

} // namespace Headless
