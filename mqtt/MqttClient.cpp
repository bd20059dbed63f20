// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttClient.h"

#include <QFile>
#include <QMetaObject>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <dlfcn.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace mqtt {

namespace {

// The functions the client calls, each looked up by its name.
#define MOSQUITTO_FUNCTIONS(X)                                                                     \
    X(mosquitto_connect_async)                                                                     \
    X(mosquitto_connect_v5_callback_set)                                                           \
    X(mosquitto_destroy)                                                                           \
    X(mosquitto_disconnect)                                                                        \
    X(mosquitto_disconnect_v5_callback_set)                                                        \
    X(mosquitto_int_option)                                                                        \
    X(mosquitto_lib_init)                                                                          \
    X(mosquitto_log_callback_set)                                                                  \
    X(mosquitto_loop)                                                                              \
    X(mosquitto_message_v5_callback_set)                                                           \
    X(mosquitto_new)                                                                               \
    X(mosquitto_property_add_binary)                                                               \
    X(mosquitto_property_free_all)                                                                 \
    X(mosquitto_property_read_binary)                                                              \
    X(mosquitto_property_read_string)                                                              \
    X(mosquitto_publish_v5)                                                                        \
    X(mosquitto_publish_v5_callback_set)                                                           \
    X(mosquitto_reason_string)                                                                     \
    X(mosquitto_reinitialise)                                                                      \
    X(mosquitto_socket)                                                                            \
    X(mosquitto_strerror)                                                                          \
    X(mosquitto_subscribe_v5)                                                                      \
    X(mosquitto_subscribe_v5_callback_set)                                                         \
    X(mosquitto_threaded_set)                                                                      \
    X(mosquitto_tls_set)                                                                           \
    X(mosquitto_username_pw_set)                                                                   \
    X(mosquitto_will_set)

// libmosquitto, and OpenSSL with it, is loaded when the first client
// starts: a panel without a broker never maps them (about 2 MB).
struct Library {
#define MOSQUITTO_FUNCTION(name) decltype(&::name) name = nullptr;
    MOSQUITTO_FUNCTIONS(MOSQUITTO_FUNCTION)
#undef MOSQUITTO_FUNCTION
    QString error; // why it could not be loaded
};

const Library &Lib() {
    static const Library lib = [] {
        Library l;
        void *handle = ::dlopen("libmosquitto.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            l.error = QString::fromLocal8Bit(::dlerror());
            return l;
        }
#define MOSQUITTO_FUNCTION(name)                                                                   \
    l.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));                          \
    if (!l.name && l.error.isEmpty())                                                              \
        l.error = QStringLiteral("libmosquitto.so.1 has no " #name);
        MOSQUITTO_FUNCTIONS(MOSQUITTO_FUNCTION)
#undef MOSQUITTO_FUNCTION
        return l;
    }();
    return lib;
}

using Clock = std::chrono::steady_clock;

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { Lib().mosquitto_lib_init(); });
}

// An MQTT 5 reason code in words, in this program's spelling.
QString ReasonText(int rc) {
    switch (rc) {
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
        return QStringLiteral("bad user name or password");
    case MQTT_RC_NOT_AUTHORIZED:
        return QStringLiteral("not authorised");
    case MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION:
        return QStringLiteral("the broker does not speak MQTT 5 (Mosquitto 1.6 and later do)");
    default:
        return QString::fromUtf8(Lib().mosquitto_reason_string(rc)).toLower();
    }
}

// "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify
// failed" -> "certificate verify failed".
QString TlsReason(const QString &log) {
    if (log.contains(QLatin1String("host name verification failed")))
        return QStringLiteral("the certificate does not name this host");
    const int colon = log.lastIndexOf(QLatin1Char(':'));
    return colon >= 0 ? log.mid(colon + 1).trimmed() : log;
}

} // namespace

Client::Client(QObject *parent) : QObject(parent) {}

Client::~Client() {
    Stop();
    if (mosq_)
        Lib().mosquitto_destroy(mosq_);
}

QString Client::Start(const Options &options) {
    if (!Lib().error.isEmpty())
        return QStringLiteral("cannot load libmosquitto: ") + Lib().error;
    InitLibrary();
    Stop();
    if (mosq_)
        Lib().mosquitto_destroy(mosq_);
    options_ = options;
    mosq_ = Lib().mosquitto_new(options.clientId.constData(), true, this);
    if (!mosq_)
        return QStringLiteral("cannot create an MQTT client");
    if (const QString error = Configure(); !error.isEmpty()) {
        Lib().mosquitto_destroy(mosq_);
        mosq_ = nullptr;
        return error;
    }
    stopping_ = false;
    closing_ = false;
    thread_ = std::thread([this] { Run(); });
    return QString();
}

QString Client::Configure() {
    // Publishing comes from our thread, the network from the client's own:
    // libmosquitto then locks its queues and wakes the loop for each message.
    Lib().mosquitto_threaded_set(mosq_, true);
    Lib().mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    if (!options_.username.isEmpty() &&
        Lib().mosquitto_username_pw_set(mosq_, options_.username.constData(),
                                        options_.password.isEmpty()
                                            ? nullptr
                                            : options_.password.constData()) != MOSQ_ERR_SUCCESS)
        return QStringLiteral("the user name or password cannot be used");
    if (options_.broker.tls) {
        const int rc =
            options_.caFile.isEmpty()
                ? Lib().mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                : Lib().mosquitto_tls_set(mosq_, QFile::encodeName(options_.caFile).constData(),
                                          nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("cannot use the CA file %1: %2")
                .arg(options_.caFile, QString::fromUtf8(Lib().mosquitto_strerror(rc)));
    }
    if (!options_.willTopic.isEmpty() &&
        Lib().mosquitto_will_set(mosq_, options_.willTopic.constData(), options_.willPayload.size(),
                                 options_.willPayload.constData(), 1, true) != MOSQ_ERR_SUCCESS)
        return QStringLiteral("the topic cannot carry a last will");
    Lib().mosquitto_connect_v5_callback_set(mosq_, &Client::OnConnect);
    Lib().mosquitto_disconnect_v5_callback_set(mosq_, &Client::OnDisconnect);
    Lib().mosquitto_publish_v5_callback_set(mosq_, &Client::OnPublish);
    Lib().mosquitto_subscribe_v5_callback_set(mosq_, &Client::OnSubscribe);
    Lib().mosquitto_message_v5_callback_set(mosq_, &Client::OnMessage);
    Lib().mosquitto_log_callback_set(mosq_, &Client::OnLog);
    return QString();
}

void Client::Stop(const QByteArray &lastTopic, const QByteArray &lastPayload) {
    if (!thread_.joinable())
        return;
    if (connected_) {
        // Sent before the goodbye: a clean end does not fire the will.
        closing_ = true;
        // The goodbye goes out also past the bound: it is the last one.
        if (!lastTopic.isEmpty())
            Send(lastTopic, lastPayload, true, false);
        // libmosquitto writes no message beyond the broker's in-flight window
        // once disconnected: a broker that is behind gets a little time to
        // take what waits (the last state above all) before the goodbye.
        for (int waited = 0; waited < StopDrainMs; waited += 10) {
            {
                std::lock_guard<std::mutex> lock(midMutex_);
                if (pending_.isEmpty())
                    break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Lib().mosquitto_disconnect(mosq_);
    }
    {
        std::lock_guard<std::mutex> lock(waitMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    connected_ = false;
}

bool Client::Publish(const QByteArray &topic, const QByteArray &payload, bool retain,
                     const QByteArray &correlation) {
    return Send(topic, payload, retain, true, correlation);
}

int Client::Unacknowledged() const {
    std::lock_guard<std::mutex> lock(midMutex_);
    return int(pending_.size());
}

bool Client::Send(const QByteArray &topic, const QByteArray &payload, bool retain, bool bounded,
                  const QByteArray &correlation) {
    if (!connected_ || !mosq_)
        return false;
    std::lock_guard<std::mutex> lock(midMutex_);
    if (!connected_) // the connection ended meanwhile; a new one may be setting up
        return false;
    // libmosquitto queues without limit what the broker has not taken yet.
    if (bounded && pending_.size() >= MaxUnacknowledged) {
        full_ = true;
        return false;
    }
    int mid = 0;
    mosquitto_property *properties = nullptr;
    if (!correlation.isEmpty())
        Lib().mosquitto_property_add_binary(&properties, MQTT_PROP_CORRELATION_DATA,
                                            correlation.constData(), uint16_t(correlation.size()));
    const int rc = Lib().mosquitto_publish_v5(mosq_, &mid, topic.constData(), payload.size(),
                                              payload.constData(), 1, retain, properties);
    Lib().mosquitto_property_free_all(&properties);
    if (rc != MOSQ_ERR_SUCCESS)
        return false;
    pending_.insert(mid, topic);
    return true;
}

void Client::Run() {
    int failures = 0;
    while (!stopping_ && !closing_) {
        bool refused = false;
        const QString reason = Session(&refused);
        if (stopping_ || closing_)
            break;
        if (sessionUp_)
            failures = 0;
        const int retry =
            refused ? options_.maxRetryMs
                    : std::min(options_.maxRetryMs, options_.minRetryMs << std::min(failures, 15));
        ++failures;
        QMetaObject::invokeMethod(
            this, [this, reason, refused, retry] { Q_EMIT ConnectFailed(reason, refused, retry); },
            Qt::QueuedConnection);
        WaitRetry(retry);
    }
    // Our goodbye (the last message and the DISCONNECT) goes out before the
    // thread ends, or within a second.
    if (closing_) {
        const auto until = Clock::now() + std::chrono::seconds(1);
        while (Lib().mosquitto_socket(mosq_) >= 0 && Clock::now() < until)
            if (Lib().mosquitto_loop(mosq_, 100, 1) != MOSQ_ERR_SUCCESS)
                break;
    }
}

QString Client::Session(bool *refused) {
    sessionUp_ = false;
    {
        // Each connection starts a new session (clean start) with the full
        // bound. What the last one left unacknowledged is not sent again:
        // libmosquitto would, ahead of what this connection sends first.
        std::lock_guard<std::mutex> lock(midMutex_);
        if (!pending_.isEmpty()) {
            const QList<QByteArray> abandoned = pending_.values();
            Lib().mosquitto_reinitialise(mosq_, options_.clientId.constData(), true, this);
            Configure(); // took these options at the start
            QMetaObject::invokeMethod(
                this, [this, abandoned] { Q_EMIT Abandoned(abandoned); }, Qt::QueuedConnection);
        }
        pending_.clear();
        full_ = false;
    }
    connack_ = -1;
    disconnect_ = 0;
    logError_.clear();
    const QByteArray host = options_.broker.host.toUtf8();
    int rc = Lib().mosquitto_connect_async(mosq_, host.constData(), options_.broker.port,
                                           options_.keepaliveS);
    int error = errno;
    const auto deadline = Clock::now() + std::chrono::milliseconds(options_.connectTimeoutMs);
    QString timeout;
    if (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_CONN_PENDING) {
        rc = MOSQ_ERR_SUCCESS;
        while (!stopping_ && rc == MOSQ_ERR_SUCCESS) {
            rc = Lib().mosquitto_loop(mosq_, 500, 1);
            error = errno;
            if (rc == MOSQ_ERR_SUCCESS && !sessionUp_ && Clock::now() > deadline) {
                timeout =
                    QStringLiteral("no answer within %1 s").arg(options_.connectTimeoutMs / 1000);
                break;
            }
        }
    }
    connected_ = false;
    if (stopping_ || closing_)
        return QString();
    if (connack_ >= 0) {
        *refused = true;
        return ReasonText(connack_);
    }
    if (rc == MOSQ_ERR_TLS || error == EPROTO || logError_.startsWith(QLatin1String("OpenSSL")) ||
        logError_.contains(QLatin1String("verification"))) {
        *refused = true;
        return QStringLiteral("TLS: ") + (logError_.isEmpty()
                                              ? QStringLiteral("the handshake failed")
                                              : TlsReason(logError_));
    }
    if (disconnect_ >= 128) {
        // Taken over: another client connected with our id; trying again
        // at once would take it back, and so on, each second.
        *refused =
            disconnect_ == MQTT_RC_SESSION_TAKEN_OVER || disconnect_ == MQTT_RC_NOT_AUTHORIZED;
        QString why = ReasonText(disconnect_);
        if (disconnect_ == MQTT_RC_SESSION_TAKEN_OVER)
            why += QStringLiteral(" (another program connected as %1: give each its own Topic=)")
                       .arg(QString::fromUtf8(options_.clientId));
        return QStringLiteral("the broker ended the session: ") + why;
    }
    if (!timeout.isEmpty())
        return timeout;
    switch (rc) {
    case MOSQ_ERR_EAI:
        return QStringLiteral("cannot find host %1").arg(options_.broker.host);
    case MOSQ_ERR_ERRNO:
        return QString::fromLocal8Bit(std::strerror(error)).toLower();
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("the broker stopped answering");
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("connection lost");
    default:
        return QString::fromUtf8(Lib().mosquitto_strerror(rc)).toLower();
    }
}

void Client::WaitRetry(int ms) {
    std::unique_lock<std::mutex> lock(waitMutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

void Client::OnConnect(mosquitto *mosq, void *self, int rc, int, const mqtt5__property *) {
    auto *c = static_cast<Client *>(self);
    if (rc != 0) {
        c->connack_ = rc;
        return;
    }
    c->sessionUp_ = true;
    if (!c->options_.subscription.isEmpty())
        // Never a retained message: a command left on the broker would be
        // carried out again on every connect. Never our own messages either.
        Lib().mosquitto_subscribe_v5(mosq, nullptr, c->options_.subscription.constData(), 1,
                                     MQTT_SUB_OPT_SEND_RETAIN_NEVER | MQTT_SUB_OPT_NO_LOCAL,
                                     nullptr);
    if (!c->options_.statusSubscription.isEmpty())
        Lib().mosquitto_subscribe_v5(mosq, &c->statusMid_,
                                     c->options_.statusSubscription.constData(), 1,
                                     MQTT_SUB_OPT_NO_LOCAL, nullptr);
    c->connected_ = true;
    QMetaObject::invokeMethod(
        c, [c] { Q_EMIT c->Connected(); }, Qt::QueuedConnection);
}

void Client::OnDisconnect(mosquitto *, void *self, int rc, const mqtt5__property *) {
    auto *c = static_cast<Client *>(self);
    c->connected_ = false;
    c->disconnect_ = rc;
}

void Client::OnPublish(mosquitto *, void *self, int mid, int reason, const mqtt5__property *) {
    auto *c = static_cast<Client *>(self);
    QByteArray topic;
    bool writable = false;
    {
        std::lock_guard<std::mutex> lock(c->midMutex_);
        topic = c->pending_.take(mid);
        writable = c->full_ && c->pending_.size() < MaxUnacknowledged;
        if (writable)
            c->full_ = false;
    }
    if (writable)
        QMetaObject::invokeMethod(
            c, [c] { Q_EMIT c->Writable(); }, Qt::QueuedConnection);
    if (reason < 128)
        return;
    const QString why = ReasonText(reason);
    QMetaObject::invokeMethod(
        c, [c, topic, why] { Q_EMIT c->Refused(topic, why); }, Qt::QueuedConnection);
}

void Client::OnSubscribe(mosquitto *, void *self, int mid, int count, const int *granted,
                         const mqtt5__property *) {
    auto *c = static_cast<Client *>(self);
    if (count < 1 || granted[0] < 128)
        return;
    const QString why = ReasonText(granted[0]);
    const QByteArray filter =
        mid == c->statusMid_ ? c->options_.statusSubscription : c->options_.subscription;
    QMetaObject::invokeMethod(
        c, [c, filter, why] { Q_EMIT c->Refused(filter, why); }, Qt::QueuedConnection);
}

void Client::OnMessage(mosquitto *, void *self, const mosquitto_message *message,
                       const mqtt5__property *properties) {
    auto *c = static_cast<Client *>(self);
    const QByteArray topic(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    QByteArray responseTopic, correlation;
    char *text = nullptr;
    if (Lib().mosquitto_property_read_string(properties, MQTT_PROP_RESPONSE_TOPIC, &text, false)) {
        responseTopic = text;
        free(text);
    }
    void *data = nullptr;
    uint16_t length = 0;
    if (Lib().mosquitto_property_read_binary(properties, MQTT_PROP_CORRELATION_DATA, &data, &length,
                                             false)) {
        correlation = QByteArray(static_cast<const char *>(data), length);
        free(data);
    }
    QMetaObject::invokeMethod(
        c,
        [c, topic, payload, responseTopic, correlation] {
            Q_EMIT c->MessageReceived(topic, payload, responseTopic, correlation);
        },
        Qt::QueuedConnection);
}

void Client::OnLog(mosquitto *, void *self, int level, const char *text) {
    auto *c = static_cast<Client *>(self);
    // The first error of an attempt names its cause; the rest repeat it.
    if (level == MOSQ_LOG_ERR && c->logError_.isEmpty())
        c->logError_ = QString::fromUtf8(text);
}

} // namespace mqtt
