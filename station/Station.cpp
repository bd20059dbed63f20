// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/Station.h"

#include "history/StateSample.h"
#include "link/AmpLink.h"
#include "mqtt/LinkBridge.h"
#include "mqtt/Publisher.h"
#include "remote/LinkTarget.h"
#include "remote/RemoteRules.h"
#include "remote/RemoteServer.h"
#include "rig/Follower.h"
#include "serial/Transport.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int StopPipe[2] = {-1, -1};
volatile std::sig_atomic_t StopSignalCame = 0;

// A signal handler may only write: the rest runs on the event loop. A
// network port's open in progress gives up at once, so that the stop is
// not held up by a peer that does not answer.
void OnStopSignal(int signal) {
    const int saved = errno;
    StopSignalCame = 1;
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

// The network server's settings: [Network], with --listen before Listen=
// and --allow before Allow=.
remote::RemoteConfig NetworkConfig(const Settings::Network &network,
                                   const CommandLine::Options &options) {
    remote::RemoteConfig config;
    config.listen = options.listen.isEmpty() ? network.listen : options.listen;
    config.allow = options.allow.isEmpty() ? network.allow : options.allow;
    if (!options.listen.isEmpty())
        config.listenFrom = QStringLiteral("--listen");
    if (!options.allow.isEmpty())
        config.allowFrom = QStringLiteral("--allow");
    config.allowRaw = network.allowRaw;
    config.idleTimeout = network.idleTimeout;
    return config;
}

// The MQTT publisher's settings: [MQTT], with --mqtt before Broker=.
mqtt::Settings MqttSettings(const Settings &settings, const CommandLine::Options &options) {
    mqtt::Settings m;
    m.broker = options.mqtt.isEmpty() ? settings.mqtt.broker : options.mqtt;
    m.username = settings.mqtt.username;
    m.passwordFile = settings.PasswordPath();
    m.caFile = settings.mqtt.caFile;
    m.topic = settings.mqtt.topic;
    m.control = settings.mqtt.control;
    m.discovery = settings.mqtt.discovery;
    m.allowRaw = settings.mqtt.allowRaw;
    m.discoveryPrefix = settings.mqtt.discoveryPrefix;
    m.stateInterval = settings.mqtt.stateInterval;
    return m;
}

// Where Home Assistant links the device to: the page's public origin, else
// its listen address when other machines can reach it by that (not a
// wildcard, not loopback); none when the page is off.
QString PageAddress(const web::WebConfig &web) {
    if (web.listen.isEmpty())
        return QString();
    if (!web.origin.isEmpty())
        return web.origin;
    remote::ListenAddress where;
    if (!remote::ParseListen(web.listen, &where).isEmpty() || where.host.isLoopback() ||
        where.host == QHostAddress::AnyIPv4 || where.host == QHostAddress::AnyIPv6 ||
        where.host == QHostAddress::Any)
        return QString();
    const QString scheme =
        web.certificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https");
    return scheme + QStringLiteral("://") + web.listen + QLatin1Char('/');
}

} // namespace

Station::Plan Station::Plan::Of(const CommandLine::Options &options, const Settings &settings) {
    Plan plan;
    plan.network = NetworkConfig(settings.network, options);
    plan.mqtt = MqttSettings(settings, options);
    // --history, else File= of the settings, else the default.
    plan.historyFile = options.history.isEmpty() ? settings.HistoryPath() : options.history;
    plan.historyDays = settings.history.days;
    plan.web.listen = options.web.isEmpty() ? settings.web.listen : options.web;
    plan.web.certificate = settings.web.certificate;
    plan.web.key = settings.web.key;
    plan.web.usersFile = settings.web.usersFile;
    plan.web.origin = settings.web.origin;
    plan.web.trustedProxy = settings.web.trustedProxy;
    plan.mqtt.configurationUrl = PageAddress(plan.web);
    plan.rig = options.rig.isEmpty() ? settings.rig.follow : options.rig;
    plan.rigFollowing = settings.rig.following;
    return plan;
}

QString Station::Plan::CheckOption(const QString &option, const QString &value) {
    if (option == QLatin1String("listen") || option == QLatin1String("web")) {
        remote::ListenAddress where;
        return remote::ParseListen(value, &where);
    }
    if (option == QLatin1String("allow")) {
        QList<remote::Subnet> allow;
        return remote::ParseAllow(value, &allow);
    }
    if (option == QLatin1String("mqtt")) {
        mqtt::Broker broker;
        return mqtt::ParseBroker(value, &broker);
    }
    if (option == QLatin1String("rig")) {
        rig::Address address;
        return rig::ParseAddress(value, &address);
    }
    return QString();
}

Station::Station() : link(std::make_unique<AmpLink>()) {
    if (StopPipe[0] >= 0) {
        stopNotifier = new QSocketNotifier(StopPipe[0], QSocketNotifier::Read, this);
        connect(stopNotifier, &QSocketNotifier::activated, this, &Station::OnStopSignal);
    }
}

Station::~Station() {
    Stop();
    follower.reset();
    webServer.reset();
    server.reset();
    publisher.reset();
    commands.reset();
    target.reset();
    recorder.reset();
    link.reset();
}

QString Station::StartServer(const remote::RemoteConfig &config) {
    if (!server) {
        if (config.listen.trimmed().isEmpty())
            return QString();
        target = std::make_unique<remote::LinkTarget>(link.get());
        server = std::make_unique<remote::RemoteServer>(target.get());
        connect(server.get(), &remote::RemoteServer::Logged, this, [this](const QString &event) {
            Q_EMIT Logged(QStringLiteral("network: ") + event);
        });
    }
    return server->Start(config);
}

QString Station::StartPublisher(const mqtt::Settings &settings) {
    if (!publisher) {
        if (settings.broker.trimmed().isEmpty())
            return QString();
        commands = std::make_unique<mqtt::LinkCommands>(link.get());
        publisher = std::make_unique<mqtt::Publisher>(commands.get());
        connect(publisher.get(), &mqtt::Publisher::Logged, this, &Station::Logged);
        connect(publisher.get(), &mqtt::Publisher::StatusChanged, this,
                [this] { Q_EMIT BrokerStatusChanged(publisher->StatusText()); });
        publisher->SetFollowSwitch([this](bool on) { return SwitchFollowing(on); });
    }
    return mqtt::PublishLink(link.get(), publisher.get(), settings);
}

HistoryStore::State Station::StartHistory(const QString &file, int days) {
    if (!recorder) {
        recorder = std::make_unique<HistoryStore>();
        connect(recorder.get(), &HistoryStore::Message, this, &Station::HistoryMessage);
        RecordLink(*link, *recorder);
    }
    recorder->SetRetentionDays(days);
    return recorder->Open(file);
}

QString Station::StartWeb(const web::WebConfig &config) {
    if (!webServer) {
        if (config.listen.trimmed().isEmpty())
            return QString();
        webServer = std::make_unique<web::WebServer>(link.get());
        connect(webServer.get(), &web::WebServer::Logged, this,
                [this](const QString &line) { Q_EMIT Logged(QStringLiteral("web: ") + line); });
        webServer->SetFollowSwitch([this](bool on) { return SwitchFollowing(on); });
        connect(webServer.get(), &web::WebServer::Access, this, [this](const QString &text) {
            if (recorder && recorder->CurrentState() == HistoryStore::State::Recording)
                recorder->Note({HistoryEventKind::Web, text, 0, std::nullopt});
        });
    }
    web::WebConfig c = config;
    if (recorder && recorder->CurrentState() == HistoryStore::State::Recording)
        c.historyFile = recorder->Path();
    return webServer->Start(c);
}

QString Station::StartRig(const QString &address, bool following) {
    if (!follower) {
        if (address.trimmed().isEmpty())
            return QString();
        follower = std::make_unique<rig::Follower>(link.get());
        connect(follower.get(), &rig::Follower::Logged, this,
                [this](const QString &line) { Q_EMIT Logged(QStringLiteral("rig: ") + line); });
        // Every output shows the radio from the link's status.
        connect(follower.get(), &rig::Follower::StatusChanged, link.get(),
                [this](const rig::Status &s) {
                    RigStatus r;
                    r.source = s.source;
                    r.connected = s.connected;
                    r.frequencyHz = s.txHz ? s.txHz : s.frequencyHz;
                    r.band = s.band;
                    r.following = s.following;
                    r.why = s.reason;
                    link->SetRig(r);
                });
    }
    return follower->Start(address, following);
}

void Station::RememberIn(const Settings &settings, const QString &configFile) {
    remembered = settings;
    rememberedFile = configFile;
}

QString Station::SwitchFollowing(bool on) {
    if (!follower || follower->State().source.isEmpty())
        return NoRadioFollowed;
    follower->SetFollowing(on);
    const QString value = on ? QStringLiteral("1") : QStringLiteral("0");
    const QString error = rememberedFile.isEmpty()
                              ? remembered.Save(Settings::RigFollowing, value)
                              : Settings::SaveIn(rememberedFile, Settings::RigFollowing, value);
    if (!error.isEmpty())
        return QStringLiteral("following %1 until the program ends, not remembered: %2")
            .arg(on ? QStringLiteral("on") : QStringLiteral("off"), error);
    remembered.rig.following = on;
    return QString();
}

void Station::Stop() {
    // No client, no broker's message and no radio may reach the link from
    // here on.
    if (follower)
        follower->Stop();
    if (webServer)
        webServer->Stop();
    if (server)
        server->Stop();
    if (publisher)
        publisher->Stop(); // the state as closed, then "offline"
    // The history notes the end of the connection it recorded.
    if (recorder)
        recorder->Close();
    // Closes the port as Close Port does (TIOCNXCL, the lock file gone),
    // with no event of it: whoever drew the link may be going already.
    link->Shutdown();
}

bool Station::CatchStopSignals() {
    if (StopPipe[0] >= 0)
        return true;
    if (::pipe2(StopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    // A closed standard output (a pipe whose reader is gone) is no reason
    // to stop: its lines are lost, the program goes on. SIGHUP (the
    // terminal or the session gone) stops it as SIGTERM does.
    ::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = ::OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return true;
}

bool Station::StopSignalled() {
    return StopSignalCame != 0;
}

void Station::OnStopSignal() {
    char s = 0;
    [[maybe_unused]] const ssize_t n = ::read(StopPipe[0], &s, 1);
    if (stopRequested)
        return;
    stopRequested = true;
    stopSignal = s;
    Q_EMIT Stopping(SignalName(s));
    // Every event loop running ends, a message box's too: the owner of the
    // outermost one then stops the station.
    QCoreApplication::exit(0);
}
