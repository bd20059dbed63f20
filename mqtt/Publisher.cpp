// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/Publisher.h"

#include "mqtt/HomeAssistant.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

namespace mqtt {

namespace {

const QByteArray Online = QByteArrayLiteral("online");
const QByteArray Offline = QByteArrayLiteral("offline");

// One note for all our topics, one for all discovery configs: a broker
// that refuses one of them refuses the rest for the same reason.
QByteArray RefusalKey(const QByteArray &topic, const QString &base, const QString &prefix) {
    if (topic.endsWith("/#") || topic.endsWith("/status")) // our subscriptions
        return topic;
    const QByteArray discovery = (prefix + QLatin1Char('/')).toUtf8();
    return topic.startsWith(discovery) ? discovery : base.toUtf8();
}

} // namespace

Publisher::Publisher(CommandTarget *target, QObject *parent) : QObject(parent), target_(target) {
    stateTimer_.setSingleShot(true);
    connect(&stateTimer_, &QTimer::timeout, this, &Publisher::PublishState);
    connect(&heartbeat_, &QTimer::timeout, this, &Publisher::PublishState);
    connect(&client_, &Client::Connected, this, &Publisher::OnConnected);
    connect(&client_, &Client::ConnectFailed, this, &Publisher::OnConnectFailed);
    connect(&client_, &Client::MessageReceived, this, &Publisher::OnMessage);
    connect(&client_, &Client::Refused, this, &Publisher::OnRefused);
    connect(&client_, &Client::Writable, this, &Publisher::OnWritable);
    connect(&client_, &Client::Abandoned, this, &Publisher::OnAbandoned);
}

Publisher::~Publisher() {
    // Whoever listened may be gone already: the goodbye goes out unannounced.
    blockSignals(true);
    Stop();
}

QString Publisher::Topic(const char *leaf) const {
    return config_.topic + QLatin1Char('/') + QLatin1String(leaf);
}

QString Publisher::Start(const Config &config, const Timing &timing) {
    config_ = config;
    timing_ = timing;
    Client::Options o;
    o.broker = config.broker;
    // One id per topic: a program that comes back takes over its own old
    // session at once, instead of leaving it to fire its will later.
    o.clientId = (QStringLiteral("orvik-control:") + config.topic).toUtf8();
    o.username = config.username;
    o.password = config.password;
    o.caFile = config.caFile;
    o.willTopic = Topic("availability").toUtf8();
    o.willPayload = Offline;
    o.minRetryMs = timing.minRetryMs;
    o.maxRetryMs = timing.maxRetryMs;
    if (config.control)
        o.subscription = Topic("set/#").toUtf8();
    if (config.discovery)
        o.statusSubscription = (config.discoveryPrefix + QStringLiteral("/status")).toUtf8();
    if (const QString error = client_.Start(o); !error.isEmpty())
        return error;
    SetStatus(Status::Connecting, QString());
    Log(QStringLiteral("connecting to %1, topic %2").arg(config.broker.Url(), config.topic));
    heartbeat_.start(timing.heartbeatMs);
    return QString();
}

void Publisher::Stop() {
    if (status_ == Status::Off)
        return;
    heartbeat_.stop();
    stateTimer_.stop();
    // The retained state must not go on showing readings nobody takes any
    // more: a connection still open ends with its event, and the last state
    // says the port is closed, before "offline". Nothing of the amplifier is
    // known then, its PA type neither.
    if (state_.phase != Phase::Closed)
        PublishEvent(
            EventJson(LinkEvent::ClosedAtStop(
                          state_.port, LivenessNamed(state_.phase).value_or(::Liveness::Closed)),
                      QDateTime::currentDateTimeUtc()));
    MqttState closed;
    closed.port = state_.port;
    state_ = closed;
    SendState(); // whether "online" went or not: no retry, the goodbye follows
    client_.Stop(Topic("availability").toUtf8(), Offline);
    Log(QStringLiteral("stopped; %1 states and %2 events published").arg(states_).arg(events_));
    SetStatus(Status::Off, QString());
}

void Publisher::Update(const MqttState &state) {
    if (state == state_)
        return;
    // The device block names the firmware and the type.
    const bool device = !state.firmware.isEmpty() && !state.paType.isEmpty() &&
                        (state.firmware != state_.firmware || state.paType != state_.paType);
    // The radio's entities come with a radio followed and go without one.
    const bool radio = state.rig.has_value() != state_.rig.has_value();
    state_ = state;
    if ((device || radio) && status_ == Status::Connected && config_.discovery)
        PublishDiscovery();
    ScheduleState();
}

void Publisher::PublishDiscovery() {
    for (const DiscoveryConfig &d : DiscoveryConfigs(config_, state_))
        client_.Publish(d.topic, d.payload, true);
}

void Publisher::Tell(const LinkEvent &event) {
    const QByteArray json = EventJson(event, QDateTime::currentDateTimeUtc());
    if (!json.isEmpty())
        PublishEvent(json);
}

void Publisher::ScheduleState() {
    if (status_ != Status::Connected)
        return; // published as the connection comes
    if (!lastState_.isValid() || lastState_.elapsed() >= timing_.minIntervalMs)
        PublishState();
    else if (!stateTimer_.isActive())
        stateTimer_.start(int(timing_.minIntervalMs - lastState_.elapsed()));
}

void Publisher::PublishState() {
    stateTimer_.stop();
    // The client may be connected before OnConnected has said "online".
    if (status_ != Status::Connected)
        return;
    // When the broker has not taken what went before, the latest state goes
    // once it takes one (OnWritable), and with it the count of what was
    // dropped meanwhile.
    stateWaiting_ = !SendState();
    if (!stateWaiting_)
        ReportDropped();
}

bool Publisher::SendState() {
    if (!client_.Publish(Topic("state").toUtf8(),
                         StateJson(state_, QDateTime::currentDateTimeUtc()), true))
        return false;
    lastState_.start();
    ++states_;
    return true;
}

void Publisher::OnWritable() {
    if (status_ != Status::Connected)
        return;
    if (stateWaiting_)
        PublishState();
    else
        ReportDropped(); // a report that did not go is tried again here
}

void Publisher::OnAbandoned(const QList<QByteArray> &topics) {
    dropped_ += int(topics.count(Topic("event").toUtf8()));
}

void Publisher::ReportDropped() {
    if (dropped_ > 0 &&
        client_.Publish(Topic("event").toUtf8(),
                        DroppedEvent(dropped_, QDateTime::currentDateTimeUtc()), false)) {
        Log(QStringLiteral("%1 events dropped while the broker was away or behind").arg(dropped_));
        dropped_ = 0;
    }
}

void Publisher::PublishEvent(const QByteArray &event) {
    if (status_ == Status::Off)
        return;
    // Before the first connection nobody has missed an event: the retained
    // state published on connecting tells the present.
    if (status_ == Status::Connected && client_.Publish(Topic("event").toUtf8(), event, false))
        ++events_;
    else if (everConnected_)
        ++dropped_; // told on the next connect, or when the broker takes messages again
}

void Publisher::OnConnected() {
    if (status_ == Status::Off)
        return;
    Log(QStringLiteral("connected to %1, publishing under %2")
            .arg(config_.broker.Url(), config_.topic));
    everConnected_ = true;
    // "online" first: no state of this connection goes before it.
    client_.Publish(Topic("availability").toUtf8(), Online, true);
    PublishDiscovery();
    SetStatus(Status::Connected, QString());
    PublishState(); // and the count of the events dropped meanwhile
}

void Publisher::OnConnectFailed(const QString &reason, bool refused, int retryMs) {
    if (status_ == Status::Off)
        return;
    const Status next = refused ? Status::Refused : Status::Retrying;
    if (next != status_ || reason != reason_) {
        const QString url = config_.broker.Url();
        const QString retry = QStringLiteral("trying again%1 every %2 s")
                                  .arg(refused ? QString() : QStringLiteral(", at most"))
                                  .arg(double(refused ? retryMs : timing_.maxRetryMs) / 1000);
        // What to look at when the broker does not take who we say we are.
        QString hint;
        if (reason == QLatin1String("not authorised") ||
            reason == QLatin1String("bad user name or password"))
            hint = config_.username.isEmpty()
                       ? QStringLiteral(": the broker may want Username= and PasswordFile=")
                       : QStringLiteral(": check Username= and the password in PasswordFile=");
        if (status_ == Status::Connected)
            Log(QStringLiteral("connection to %1 lost: %2; %3").arg(url, reason + hint, retry));
        else if (refused)
            Log(QStringLiteral("%1 refused us: %2; %3").arg(url, reason + hint, retry));
        else
            Log(QStringLiteral("cannot connect to %1: %2; %3").arg(url, reason, retry));
    }
    SetStatus(next, reason);
}

void Publisher::OnRefused(const QByteArray &topic, const QString &reason) {
    const QByteArray key = RefusalKey(topic, config_.topic, config_.discoveryPrefix);
    if (refusedTopics_.contains(key))
        return;
    refusedTopics_.insert(key);
    Log(QStringLiteral("the broker refuses %1 on %2: %3")
            .arg(topic == Topic("set/#").toUtf8() ? QStringLiteral("our subscription")
                                                  : QStringLiteral("messages"),
                 QString::fromUtf8(topic), reason));
}

void Publisher::OnMessage(const QByteArray &topic, const QByteArray &payload,
                          const QByteArray &responseTopic, const QByteArray &correlation) {
    // Home Assistant started again: it has forgotten what is not retained,
    // and may have lost what is.
    if (config_.discovery &&
        topic == (config_.discoveryPrefix + QStringLiteral("/status")).toUtf8()) {
        if (payload.trimmed() == "online") {
            Log(QStringLiteral("Home Assistant is online: discovery sent again"));
            PublishDiscovery();
            PublishState();
        }
        return;
    }
    // "set/#" also matches TOPIC/set itself: an unknown command, no name.
    const QByteArray prefix = Topic("set").toUtf8();
    if (!config_.control || !topic.startsWith(prefix) ||
        (topic.size() > prefix.size() && topic.at(prefix.size()) != '/'))
        return;
    const QString name = QString::fromUtf8(topic.mid(prefix.size() + 1));
    Reply reply{Topic("result").toUtf8(), correlation};
    // A response topic of the request's choosing, when it is a topic.
    if (!responseTopic.isEmpty() && CheckTopic(QString::fromUtf8(responseTopic)).isEmpty())
        reply.topic = responseTopic;
    Command command;
    if (const QString error = ParseCommand(name, payload, config_.allowRaw, &command);
        !error.isEmpty()) {
        Result(reply, QStringLiteral("set/") + name.left(40), error);
        return;
    }
    Execute(command, reply);
}

void Publisher::Execute(const Command &command, const Reply &reply) {
    const QString what = command.kind == Command::Kind::Band  ? QString::number(command.band)
                         : command.kind == Command::Kind::Raw ? QString::fromLatin1(command.line)
                         : command.kind == Command::Kind::RadioFollowing
                             ? QLatin1String(command.follow ? "on" : "off")
                             : QLatin1String(command.operate ? "operate" : "standby");
    const QString name = CommandName(command.kind);
    // Logged "set/band 5: ok".
    auto done = [this, name, what, reply](const QString &why) {
        Result(reply, QStringLiteral("set/") + name, why,
               QStringLiteral("set/%1 %2: %3")
                   .arg(name, what, why.isEmpty() ? QStringLiteral("ok") : why));
    };
    // Following is the station's to switch, not the amplifier's: the
    // answer comes at once.
    if (command.kind == Command::Kind::RadioFollowing) {
        done(follow_ ? follow_(command.follow) : NoRadioFollowed);
        return;
    }
    if (!target_) {
        done(QStringLiteral("no amplifier"));
        return;
    }
    // The gate orders and spaces the commands of a kind; the answer comes
    // when the command has had its turn.
    const QPointer<Publisher> self(this);
    target_->Apply(command, [self, done](const QString &why) {
        if (self)
            done(why);
    });
}

void Publisher::Result(const Reply &reply, const QString &command, const QString &reason,
                       const QString &logged) {
    Log(logged.isEmpty() ? reason : logged);
    QJsonObject o;
    o.insert(QStringLiteral("command"), command);
    o.insert(QStringLiteral("ok"), reason.isEmpty());
    o.insert(QStringLiteral("reason"), reason.isEmpty() ? QJsonValue() : QJsonValue(reason));
    client_.Publish(reply.topic, QJsonDocument(o).toJson(QJsonDocument::Compact), false,
                    reply.correlation);
}

void Publisher::SetStatus(Status status, const QString &reason) {
    const bool changed = status != status_ || reason != reason_;
    status_ = status;
    reason_ = reason;
    if (changed)
        Q_EMIT StatusChanged(status);
}

QString Publisher::StatusText() const {
    switch (status_) {
    case Status::Off:
        return QString();
    case Status::Connecting:
        return QStringLiteral("MQTT: connecting");
    case Status::Connected:
        return QStringLiteral("MQTT: connected");
    case Status::Retrying:
        return QStringLiteral("MQTT: retrying (%1)").arg(reason_);
    case Status::Refused:
        return QStringLiteral("MQTT: refused (%1)").arg(reason_);
    }
    return QString();
}

} // namespace mqtt
