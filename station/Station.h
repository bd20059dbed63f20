// SPDX-License-Identifier: GPL-3.0-or-later
// The station: the amplifier link and what serves it besides the windows,
// the network server, the MQTT publisher, the history recorder, the
// station page and the follower of the radio, each
// built only when the settings ask for it, and all of them stopped in one
// order. The panel (app/WindowSet) puts its windows on top of it, the
// headless program (app/Headless) its log lines; neither builds a part
// itself.
#pragma once

#include "config/CommandLine.h"
#include "config/Settings.h"
#include "history/HistoryStore.h"
#include "mqtt/MqttSettings.h"
#include "remote/RemoteServer.h"
#include "web/WebServer.h"

#include <QObject>
#include <QString>

#include <memory>

class AmpLink;
class QSocketNotifier;
namespace mqtt {
class LinkCommands;
class Publisher;
} // namespace mqtt
namespace remote {
class LinkTarget;
} // namespace remote
namespace rig {
class Follower;
} // namespace rig

class Station : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Station)
public:
    // What the parts are built from: each part's section of the settings
    // file with the command line's options before its keys.
    struct Plan {
        remote::RemoteConfig network; // [Network], --listen; no Listen: no server
        mqtt::Settings mqtt;          // [MQTT], --mqtt; no Broker: no publisher
        QString historyFile;          // where the history is recorded
        int historyDays = HistoryStore::DefaultDays;
        web::WebConfig web;       // [Web], --web; no Listen: no page
        QString rig;              // [Rig] Follow=, --rig; empty: no rig followed
        bool rigFollowing = true; // [Rig] Following=
        static Plan Of(const CommandLine::Options &options, const Settings &settings);
        // The command line's check (CommandLine::Check) of the options the
        // parts take: --listen and --web an address, --mqtt a broker's URL.
        static QString CheckOption(const QString &option, const QString &value);
    };

    Station();
    // Stops (see Stop), then the parts go, the link last.
    ~Station() override;

    AmpLink &Link() const { return *link; }
    // The parts; none until started as configured.
    remote::RemoteServer *Server() const { return server.get(); }
    mqtt::Publisher *Publisher() const { return publisher.get(); }
    HistoryStore *History() const { return recorder.get(); }
    web::WebServer *Web() const { return webServer.get(); }
    rig::Follower *Rig() const { return follower.get(); }

    // Starts the network server on the link when config names a Listen
    // address. Returns an empty string, or why it does not listen (the
    // server stays, not listening).
    QString StartServer(const remote::RemoteConfig &config);
    // Publishes the link's state on the broker the settings name; commands
    // (Control=1) go through the operator's own calls on the link. Returns an
    // empty string, or why the publisher cannot start.
    QString StartPublisher(const mqtt::Settings &settings);
    // Records the link into file, keeping days of it; the recorder's
    // messages come as HistoryMessage.
    HistoryStore::State StartHistory(const QString &file, int days);
    // Serves the station page when config names a Listen address, with the
    // last hour from the history when it records. Log-ins go to the log and
    // the history's events, commands through the link's gate. Returns an
    // empty string, or why the page is not served.
    QString StartWeb(const web::WebConfig &config);
    // Follows the radio at address (rigctld://HOST:PORT): its band through
    // the link's gate while following is on; its lines come as Logged
    // ("rig: ..."). Called again, it follows the new address; an empty one
    // stops it. Returns an empty string, or why the address names no rig.
    QString StartRig(const QString &address, bool following);
    // Where following switched from MQTT or the page is remembered
    // ([Rig] Following=): configFile, the file --config names and the next
    // start reads again, else the user's file, as the panel's dialog saves
    // it (Settings::Save, from settings' file).
    void RememberIn(const Settings &settings, const QString &configFile);
    // Switches following the radio on or off for MQTT and the page, and
    // remembers it. Returns an empty string, or why not: no radio is
    // followed, or it switched but could not be remembered.
    QString SwitchFollowing(bool on);

    // The one order of the end: nothing takes commands any more (the server
    // and the publisher stop, the publisher's last state says the port is
    // closed), the recorder makes its last write, then the port closes
    // properly (its exclusive mark and its lock file go). No event of the
    // port follows. Called again, it does nothing more.
    void Stop();

    // From now on SIGTERM, SIGINT and SIGHUP stop the program: the handler
    // only notes the signal, gives up a network port's open in progress and
    // writes to a pipe; on the event loop a station then says Stopping and
    // ends the event loop, whose owner calls Stop (the destructor does).
    // For the whole process, once; false when the pipe cannot be made.
    static bool CatchStopSignals();
    // A stop signal has come, even when the event loop has not seen it yet.
    static bool StopSignalled();
    // This station has ended the event loop for a stop signal: an event loop
    // that starts only now would wait for nothing.
    bool StopRequested() const { return stopRequested; }
    // The signal that ended the event loop (SIGTERM, SIGINT, SIGHUP), or 0.
    int StopSignal() const { return stopSignal; }

Q_SIGNALS:
    // The event loop is about to end for this signal ("SIGTERM", "SIGINT",
    // "SIGHUP").
    void Stopping(const QString &signal);
    // One line of the server ("network: ..."), the publisher ("mqtt: ...")
    // or the page's server ("web: ...").
    void Logged(const QString &line);
    // The recorder's message: its file is damaged, cannot be written or is
    // another program's, at the start or later.
    void HistoryMessage(const QString &text);
    // The broker's state as the main window's title shows it.
    void BrokerStatusChanged(const QString &status);

private:
    void OnStopSignal();

    std::unique_ptr<AmpLink> link;
    std::unique_ptr<remote::LinkTarget> target;
    std::unique_ptr<remote::RemoteServer> server;
    std::unique_ptr<mqtt::LinkCommands> commands;
    std::unique_ptr<mqtt::Publisher> publisher;
    std::unique_ptr<HistoryStore> recorder;
    std::unique_ptr<web::WebServer> webServer;
    std::unique_ptr<rig::Follower> follower;
    Settings remembered;    // the settings read: the user's file starts as a copy of their file
    QString rememberedFile; // --config's file; empty: the user's
    QSocketNotifier *stopNotifier = nullptr;
    bool stopRequested = false;
    int stopSignal = 0;
};
