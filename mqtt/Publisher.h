// SPDX-License-Identifier: GPL-3.0-or-later
// The amplifier on the station's MQTT bus. Under the configured topic:
//   state         retained JSON, on each change (at most 10 a second) and
//                 every 30 s;
//   availability  retained "online" while connected; "offline" as our last
//                 will and when we stop;
//   event         alarm start and end, connection events (not retained);
//   set/...       commands, with Control=1 only; each gets a "result", a
//                 JSON object, or its answer on the request's own MQTT 5
//                 response topic with its correlation data. set/follow
//                 goes to whoever follows the radio (SetFollowSwitch), the
//                 others to the amplifier's command gate.
// Home Assistant discovery configs are published on each connect, when
// Home Assistant says it is online on <prefix>/status, and when the
// amplifier's firmware or type becomes known.
//
// While the broker is away, or behind with its acknowledgements, nothing
// queues: the state is kept as the latest value and published on return;
// events are dropped and counted (and those the broker had not acknowledged
// when the connection ended), and the count is published on return.
#pragma once

#include "mqtt/Commands.h"
#include "mqtt/MqttClient.h"
#include "mqtt/MqttSettings.h"
#include "mqtt/MqttState.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <optional>

namespace mqtt {

// The publisher's intervals; tests shorten them.
struct Timing {
    int minIntervalMs = 100; // between two state messages
    int heartbeatMs = 30000; // the state again, changed or not
    int minRetryMs = 1000;   // the broker's first retry, doubling up to
    int maxRetryMs = 30000;  // this, which is also the retry after a refusal
};

class Publisher : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Publisher)
public:
    enum class Status { Off, Connecting, Connected, Retrying, Refused };

    // target may be null: commands then answer that nothing is connected.
    explicit Publisher(CommandTarget *target, QObject *parent = nullptr);
    ~Publisher() override;

    // Connects and keeps connecting. Returns an empty string, or why it
    // cannot start (then nothing runs).
    QString Start(const Config &config, const Timing &timing = Timing());
    // Publishes the state as closed and "offline", and disconnects.
    void Stop();

    // The amplifier's state now.
    void Update(const MqttState &state);
    // One of the link's events, for the event topic.
    void Tell(const LinkEvent &event);

    // Switches following the radio on or off; returns an empty string, or
    // why it did not (no radio is followed ...). Unset: set/follow answers
    // that no radio is followed.
    void SetFollowSwitch(FollowSwitch followSwitch) { follow_ = std::move(followSwitch); }

    Status CurrentStatus() const { return status_; }
    // "MQTT: connected", "MQTT: retrying (connection refused)" ...
    QString StatusText() const;
    QString Topic(const char *leaf) const;
    int DroppedEvents() const { return dropped_; }
    // Messages the broker has not acknowledged yet.
    int Unacknowledged() const { return client_.Unacknowledged(); }
    // The state last given to Update.
    const MqttState &State() const { return state_; }

Q_SIGNALS:
    // One line for a log: connected, each new reason it cannot connect,
    // refusals, dropped events, commands.
    void Logged(const QString &line);
    void StatusChanged(Publisher::Status status);

private:
    void OnConnected();
    void OnConnectFailed(const QString &reason, bool refused, int retryMs);
    void OnMessage(const QByteArray &topic, const QByteArray &payload,
                   const QByteArray &responseTopic, const QByteArray &correlation);
    void PublishDiscovery();
    void OnRefused(const QByteArray &topic, const QString &reason);
    // The state, once "online" has gone out on this connection.
    void PublishState();
    // Publishes the state; false when the client did not take it.
    bool SendState();
    void ScheduleState();
    // The broker has taken a message while others waited: what could not
    // go then goes now.
    void OnWritable();
    // Messages the last connection left unacknowledged: its events count
    // as dropped.
    void OnAbandoned(const QList<QByteArray> &topics);
    void PublishEvent(const QByteArray &event);
    // The count of events dropped since the last report, when there are.
    void ReportDropped();
    // Where a command's answer goes: the result topic, or the request's own.
    struct Reply {
        QByteArray topic;
        QByteArray correlation;
    };
    void Execute(const Command &command, const Reply &reply);
    // Publishes a command's result as {"command": "set/band", "ok": true,
    // "reason": null}; logs logged, or the reason.
    void Result(const Reply &reply, const QString &command, const QString &reason,
                const QString &logged = QString());
    void SetStatus(Status status, const QString &reason);
    void Log(const QString &text) { Q_EMIT Logged(QStringLiteral("mqtt: ") + text); }

    CommandTarget *target_;
    FollowSwitch follow_;
    Client client_;
    Config config_;
    Timing timing_;
    Status status_ = Status::Off;
    QString reason_;
    MqttState state_;
    QElapsedTimer lastState_;
    QTimer stateTimer_;
    QTimer heartbeat_;
    bool everConnected_ = false;
    bool stateWaiting_ = false; // the latest state did not go: the broker was behind
    int dropped_ = 0;
    int states_ = 0; // published, for the log at the end
    int events_ = 0;
    QSet<QByteArray> refusedTopics_;
};

} // namespace mqtt
