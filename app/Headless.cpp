// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Headless.h"

#include "config/Settings.h"
#include "link/AmpLink.h"
#include "remote/RemoteServer.h"
#include "serial/Transport.h"
#include "station/EventLines.h"
#include "station/Station.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <csignal>
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
    // Settings that are refused stay refused however often the program
    // starts (status 2, which the unit does not restart); an address that
    // is taken or not there yet may be free at the next start (status 1).
    const QString serverError = station.StartServer(plan.network);
    if (!serverError.isEmpty())
        return Fail(serverError, station.Server() && station.Server()->MayListenLater() ? 1 : 2);
    const QString mqttError = station.StartPublisher(plan.mqtt);
    if (!mqttError.isEmpty())
        return Fail(QStringLiteral("MQTT: ") + mqttError, 2);
    if (station.StartHistory(plan.historyFile, plan.historyDays) == HistoryStore::State::Recording)
        Log(QStringLiteral("history: recording into %1").arg(plan.historyFile));
    // After the history, so that the page shows its last hour.
    if (const QString webError = station.StartWeb(plan.web); !webError.isEmpty())
        return Fail(webError, 1);
    // A switch of following from MQTT or the page is kept where the next
    // start reads it.
    station.RememberIn(settings, options.config);
    if (const QString rigError = station.StartRig(plan.rig, plan.rigFollowing); !rigError.isEmpty())
        return Fail(QStringLiteral("rig: ") + rigError, 2);

    // The log tells the link's events: the phases, each transmission with
    // its figures, the band, and every command with who asked and how it
    // ended.
    QObject::connect(&link, &AmpLink::Event, [](const LinkEvent &e) {
        if (const QString line = EventLine(e); !line.isEmpty())
            Log(line);
    });
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
    if (!station.StopRequested())
        app.exec();
    // SIGHUP ends with 128 + its number, as a shell reports a program it
    // ended: the unit (Restart=on-failure) starts it again, with its
    // settings read anew. SIGTERM and SIGINT are an ordinary end.
    const int status = station.StopSignal() == SIGHUP ? 128 + SIGHUP : 0;
    station.Stop();
    // The port closes without an event of the link (Stop); the log tells
    // it as the event it is.
    Log(EventLine(LinkEvent::ClosedAtStop(link.State().PortName, link.State().Liveness())));
    Log(QStringLiteral("stopped"));
    return status;
}

} // namespace Headless
