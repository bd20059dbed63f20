// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher's settings and their rules: the broker's URL, the password
// file that must be readable by its owner alone, the CA file, the topic
// every message goes under, and whether commands and Home Assistant
// discovery are on. Each rule gives the reason when it refuses.
#pragma once

#include <QByteArray>
#include <QString>

namespace mqtt {

// The settings as written ([MQTT] of the settings file, --mqtt).
struct Settings {
    QString broker;           // mqtt://HOST:PORT or mqtts://HOST:PORT; empty: no publisher
    QString username;         // empty: none
    QString passwordFile;     // the password, on the file's first line
    QString caFile;           // mqtts: the certificate authority; empty: the system's
    QString topic;            // empty: orvik/<host name>
    bool control = false;     // obey .../set/band, .../set/operate (and .../set/raw)
    bool discovery = true;    // Home Assistant discovery configs
    bool allowRaw = false;    // AllowRaw=1 of [MQTT]: .../set/raw too
    QString discoveryPrefix;  // empty: homeassistant
    QString stateInterval;    // seconds between two state messages, as written; empty: 0.1
    QString configurationUrl; // the device's page in Home Assistant; empty: none
};

struct Broker {
    bool tls = false;
    QString host; // a name, an IPv4 address, or an IPv6 address without brackets
    int port = 0;
    // The broker as the messages name it: mqtt://HOST:PORT.
    QString Url() const;
};

// The settings made ready to connect with: checked, the password read.
struct Config {
    Broker broker;
    QByteArray username;
    QByteArray password;
    QString caFile;
    QString topic; // without a trailing "/"
    bool control = false;
    bool discovery = true;
    bool allowRaw = false;
    QString discoveryPrefix = QStringLiteral("homeassistant");
    int stateIntervalMs = 100;
    QString configurationUrl;
};

constexpr int DefaultPort = 1883;
// StateInterval= between these (seconds): at least a tenth, at most an hour.
constexpr int MinStateIntervalMs = 100;
constexpr int MaxStateIntervalMs = 3600000;
constexpr int DefaultTlsPort = 8883;
// Longer topics are refused: every topic of ours and the discovery
// configs' names are built from it.
constexpr int MaxTopicBytes = 200;
// A password file larger than this is not a password file.
constexpr qint64 MaxPasswordFileBytes = 4096;

// "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]" (the scheme in any case, an
// IPv6 address in brackets, a trailing "/" allowed). Returns an empty
// string, or why the URL cannot be used.
QString ParseBroker(const QString &url, Broker *out);

// Reads the password from the file's first line (its line end dropped).
// Refuses a file that others than its owner may read or write, one that is
// not a regular file, empty, or too large; the reason names the file.
QString ReadPasswordFile(const QString &path, QByteArray *password);

// Why a topic cannot carry our messages (empty, wildcards, a leading "$",
// control characters, empty levels, too long), or an empty string.
QString CheckTopic(const QString &topic);

// "orvik/" and the host name, with anything a topic cannot hold replaced.
QString DefaultTopic();

// Checks every setting and reads the password. Returns an empty string, or
// the first reason the publisher cannot start.
QString Prepare(const Settings &settings, Config *out);

} // namespace mqtt
