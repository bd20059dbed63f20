// SPDX-License-Identifier: GPL-3.0-or-later
// One connection to an MQTT broker on libmosquitto, with a network thread
// of its own: the thread connects (name look-up, TCP, TLS), runs
// libmosquitto's loop and, when the connection fails or ends, waits and
// tries again, 1 s doubling to 30 s, and 30 s at once when the broker or
// its certificate refused us. Everything it learns reaches the object's own
// thread as queued calls; nothing of ours is touched from both threads
// without a lock or an atomic.
//
// The thread is our own rather than mosquitto_loop_start's: that loop makes
// the first connection on the caller's thread (a name look-up can hold the
// window), retries with a blocking connect its stop cannot interrupt, and
// ends for good after a TLS error, which would silence a publisher until
// the program restarts.
#pragma once

#include "mqtt/MqttSettings.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

namespace mqtt {

class Client : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Client)
public:
    struct Options {
        Broker broker;
        QByteArray clientId;
        QByteArray username; // empty: none
        QByteArray password;
        QString caFile; // mqtts: empty takes the system's certificate authorities
        // The broker publishes this (retained) when the connection ends
        // without our goodbye.
        QByteArray willTopic;
        QByteArray willPayload;
        QByteArray subscription; // a topic filter subscribed on each connect; empty: none
        // Another, whose retained message is welcome (Home Assistant's
        // status); empty: none.
        QByteArray statusSubscription;
        int keepaliveS = 15;
        int connectTimeoutMs = 10000;
        int minRetryMs = 1000;
        int maxRetryMs = 30000;
    };

    explicit Client(QObject *parent = nullptr);
    ~Client() override; // stops and joins the thread

    // Starts the thread. Returns an empty string, or why libmosquitto
    // refused the options (then nothing runs).
    QString Start(const Options &options);
    // Publishes lastPayload on lastTopic (retained) when connected, says
    // goodbye to the broker, and ends the thread.
    // How long Stop waits for the broker to acknowledge what waits.
    static constexpr int StopDrainMs = 2000;
    void Stop(const QByteArray &lastTopic = QByteArray(),
              const QByteArray &lastPayload = QByteArray());
    // QoS 1. While not connected nothing is queued and it returns false; so
    // it does while MaxUnacknowledged messages of this connection wait for
    // the broker's acknowledgement (a broker that stalls, a slow network).
    // correlation: MQTT 5 correlation data sent with it, for an answer to
    // a request that asked for it.
    bool Publish(const QByteArray &topic, const QByteArray &payload, bool retain,
                 const QByteArray &correlation = QByteArray());
    static constexpr int MaxUnacknowledged = 100;
    bool IsConnected() const { return connected_; }
    // The messages of this connection the broker has not acknowledged yet.
    int Unacknowledged() const;

Q_SIGNALS:
    void Connected();
    // The connection could not be made or ended. refused: the broker, or
    // its certificate, said no (wrong password, not authorised, a
    // certificate that does not verify); the next try is in retryMs.
    void ConnectFailed(const QString &reason, bool refused, int retryMs);
    // responseTopic and correlation: the MQTT 5 properties of a request
    // that wants its answer on a topic of its own (empty when none).
    void MessageReceived(const QByteArray &topic, const QByteArray &payload,
                         const QByteArray &responseTopic, const QByteArray &correlation);
    // The broker would not take a message on topic (an ACL), or our
    // subscription (topic is the filter).
    void Refused(const QByteArray &topic, const QString &reason);
    // The topics of the messages the last connection left unacknowledged,
    // told before the next connect; they are not sent again.
    void Abandoned(const QList<QByteArray> &topics);
    // A Publish refused for the bound can go now: the broker has taken
    // one of the messages that waited.
    void Writable();

private:
    // Sets the options and callbacks on mosq_. Returns an empty string, or
    // why libmosquitto refused the options.
    QString Configure();
    void Run();
    // One attempt: connects and runs the loop until the connection ends.
    // Returns why it ended; *refused when retrying soon would not help.
    QString Session(bool *refused);
    void WaitRetry(int ms);
    bool Send(const QByteArray &topic, const QByteArray &payload, bool retain, bool bounded,
              const QByteArray &correlation = QByteArray());
    static void OnConnect(mosquitto *, void *self, int rc, int flags, const mqtt5__property *);
    static void OnDisconnect(mosquitto *, void *self, int rc, const mqtt5__property *);
    static void OnPublish(mosquitto *, void *self, int mid, int reason, const mqtt5__property *);
    static void OnSubscribe(mosquitto *, void *self, int mid, int count, const int *granted,
                            const mqtt5__property *);
    static void OnMessage(mosquitto *, void *self, const mosquitto_message *message,
                          const mqtt5__property *);
    static void OnLog(mosquitto *, void *self, int level, const char *text);

    Options options_;
    mosquitto *mosq_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> closing_{false}; // our goodbye is queued; the thread sends it
    std::atomic<bool> connected_{false};
    std::mutex waitMutex_;
    std::condition_variable wake_;
    // Which topic each unacknowledged message of this connection went to,
    // for a refusal; also the bound on what libmosquitto keeps for us.
    mutable std::mutex midMutex_;
    QHash<int, QByteArray> pending_;
    bool full_ = false; // a Publish was refused for the bound; Writable follows
    // The network thread's own notes on the attempt in hand.
    bool sessionUp_ = false;
    int connack_ = -1;   // the broker's refusal, or -1
    int statusMid_ = -1; // the status subscription's message id
    int disconnect_ = 0; // the broker's reason for ending the session (MQTT 5), or 0
    QString logError_;   // libmosquitto's first error line of the attempt
};

} // namespace mqtt
