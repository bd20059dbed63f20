// SPDX-License-Identifier: GPL-3.0-or-later
// An MQTT broker for tests and benchmarks: Debian's mosquitto binary on
// 127.0.0.1 with a generated configuration, users, an ACL and a TLS
// listener; and a watcher that keeps every message it gets.
#pragma once

#include "tests/common/Ser2net.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <sys/prctl.h>

#include <csignal>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

struct Mosquitto {
    // The users: orvik publishes under orvik/# and homeassistant/#, watcher
    // reads and writes everything, denied may only read orvik/#.
    static constexpr const char *Password = "s3cret";

    QTemporaryDir dir;
    QProcess proc;
    int port = 0;
    int tlsPort = 0;

    QString File(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QString Url(bool tls = false, const char *host = "127.0.0.1") const {
        return QStringLiteral("%1://%2:%3")
            .arg(QLatin1String(tls ? "mqtts" : "mqtt"), QLatin1String(host))
            .arg(tls ? tlsPort : port);
    }

    // The first start makes the files and takes two free ports; later ones
    // serve the same ports again.
    bool Start() {
        if (port == 0 && !Prepare())
            return false;
        proc.setProcessChannelMode(QProcess::MergedChannels);
        proc.setWorkingDirectory(dir.path());
        // The broker goes with the test, also when the test dies.
        proc.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        proc.start(QStringLiteral("/usr/sbin/mosquitto"),
                   {QStringLiteral("-c"), File("mosquitto.conf")});
        if (!proc.waitForStarted(5000))
            return false;
        for (int i = 0; i < 250 && proc.state() == QProcess::Running; ++i) {
            if (Listening(port) && Listening(tlsPort))
                return true;
            QThread::msleep(20);
        }
        return false;
    }
    void Stop() {
        if (proc.state() == QProcess::NotRunning)
            return;
        proc.terminate();
        proc.waitForFinished(5000);
    }
    ~Mosquitto() { Stop(); }

private:
    static bool Listening(int port) {
        QFile tcp(QStringLiteral("/proc/net/tcp"));
        return tcp.open(QIODevice::ReadOnly) &&
               tcp.readAll().contains(QStringLiteral(":%1 00000000:0000 0A")
                                          .arg(port, 4, 16, QLatin1Char('0'))
                                          .toUpper()
                                          .toLatin1());
    }
    // A certificate authority, the server's certificate for 127.0.0.1, the
    // users, their ACL and the configuration. As root, mosquitto would drop
    // to its own user, who cannot read these files; "user root" keeps it.
    bool Prepare() {
        port = Ser2net::FreePort();
        do
            tlsPort = Ser2net::FreePort();
        while (tlsPort == port);
        const char *script =
            R"(set -e; cd "$1"; key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -x509 $key -days 2 -subj "/CN=Orvik test CA" -keyout ca.key -out ca.crt
openssl req $key -subj /CN=127.0.0.1 -keyout server.key -out server.csr
echo subjectAltName=IP:127.0.0.1 >san.ext
openssl x509 -req -days 2 -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -extfile san.ext -out server.crt
mosquitto_passwd -b -c passwd orvik "$2"; for u in watcher denied; do mosquitto_passwd -b passwd $u "$2"; done
printf 'user orvik\ntopic readwrite orvik/#\ntopic write homeassistant/#\ntopic read homeassistant/status\nuser watcher\ntopic readwrite #
user denied\ntopic read orvik/#\n' >acl
printf 'user root\npersistence false\nallow_anonymous false\npassword_file passwd\nacl_file acl
log_dest stdout\nlistener %s 127.0.0.1\nlistener %s 127.0.0.1\ncafile ca.crt\ncertfile server.crt
keyfile server.key\n' $3 $4 >mosquitto.conf)";
        QProcess sh;
        sh.setProcessChannelMode(QProcess::MergedChannels);
        sh.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"), QLatin1String(script), QStringLiteral("sh"), dir.path(),
                  QLatin1String(Password), QString::number(port), QString::number(tlsPort)});
        return sh.waitForFinished(30000) && sh.exitCode() == 0;
    }
};

// A client that subscribes to everything (as watcher) and keeps what comes,
// with the time it came (the benchmarks time messages by it).
class Watcher {
public:
    struct Message {
        QByteArray topic, payload;
        bool retained = false;
        qint64 arrivedUs = 0;   // steady clock
        int arrivedMsOfDay = 0; // wall clock, as the simulator's log has it
        QByteArray correlation; // MQTT 5 correlation data
    };

    explicit Watcher(int port) {
        mosquitto_lib_init();
        m_ = mosquitto_new(nullptr, true, this);
        mosquitto_int_option(m_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        mosquitto_username_pw_set(m_, "watcher", Mosquitto::Password);
        mosquitto_connect_callback_set(m_, [](mosquitto *m, void *, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, "#", 1);
        });
        mosquitto_subscribe_callback_set(m_, [](mosquitto *, void *self, int, int, const int *) {
            static_cast<Watcher *>(self)->subscribed_ = true;
        });
        mosquitto_message_v5_callback_set(m_, [](mosquitto *, void *self,
                                                 const mosquitto_message *msg,
                                                 const mosquitto_property *props) {
            QByteArray correlation;
            void *data = nullptr;
            uint16_t length = 0;
            if (mosquitto_property_read_binary(props, MQTT_PROP_CORRELATION_DATA, &data, &length,
                                               false)) {
                correlation = QByteArray(static_cast<const char *>(data), length);
                free(data);
            }
            auto *w = static_cast<Watcher *>(self);
            const qint64 us = std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count();
            const int ms = QTime::currentTime().msecsSinceStartOfDay();
            std::lock_guard<std::mutex> lock(w->lock_);
            w->got_ << Message{
                msg->topic,  QByteArray(static_cast<const char *>(msg->payload), msg->payloadlen),
                msg->retain, us,
                ms,          correlation};
        });
        mosquitto_connect(m_, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_);
        for (int i = 0; i < 500 && !subscribed_; ++i)
            QThread::msleep(10);
    }
    ~Watcher() {
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
        mosquitto_destroy(m_);
    }
    Q_DISABLE_COPY_MOVE(Watcher)

    bool Subscribed() const { return subscribed_; }
    QList<Message> Messages(const QByteArray &topic = QByteArray()) {
        std::lock_guard<std::mutex> lock(lock_);
        QList<Message> out;
        for (const Message &m : got_)
            if (topic.isEmpty() || m.topic == topic)
                out << m;
        return out;
    }
    // The first message on topic that passes the test, waiting with the
    // event loop running; none after ms.
    std::optional<Message> WaitFor(const QByteArray &topic,
                                   const std::function<bool(const QByteArray &)> &test = {},
                                   int ms = 10000) {
        QElapsedTimer t;
        t.start();
        do {
            for (const Message &m : Messages(topic))
                if (!test || test(m.payload))
                    return m;
            QTest::qWait(10);
        } while (t.elapsed() < ms);
        return std::nullopt;
    }
    // Whether a message on topic holding `part` comes within ms.
    bool Saw(const QByteArray &topic, const QByteArray &part, int ms = 10000) {
        return WaitFor(
                   topic, [&part](const QByteArray &p) { return p.contains(part); }, ms)
            .has_value();
    }
    // responseTopic and correlation: a request that wants its answer there.
    void Publish(const QByteArray &topic, const QByteArray &payload, bool retain = false,
                 const QByteArray &responseTopic = QByteArray(),
                 const QByteArray &correlation = QByteArray()) {
        mosquitto_property *props = nullptr;
        if (!responseTopic.isEmpty())
            mosquitto_property_add_string(&props, MQTT_PROP_RESPONSE_TOPIC,
                                          responseTopic.constData());
        if (!correlation.isEmpty())
            mosquitto_property_add_binary(&props, MQTT_PROP_CORRELATION_DATA,
                                          correlation.constData(), uint16_t(correlation.size()));
        mosquitto_publish_v5(m_, nullptr, topic.constData(), payload.size(), payload.constData(), 1,
                             retain, props);
        mosquitto_property_free_all(&props);
    }

private:
    mosquitto *m_ = nullptr;
    std::atomic<bool> subscribed_{false};
    std::mutex lock_;
    QList<Message> got_;
};
