// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttSettings.h"

#include "config/OwnerOnlyFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSysInfo>

#include <cmath>

namespace mqtt {

namespace {

bool HostNameChar(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char('.') || c == QLatin1Char('_');
}

} // namespace

QString Broker::Url() const {
    const QString h =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1://%2:%3")
        .arg(tls ? QLatin1String("mqtts") : QLatin1String("mqtt"), h)
        .arg(port);
}

QString ParseBroker(const QString &url, Broker *out) {
    const QString text = url.trimmed();
    const int sep = text.indexOf(QLatin1String("://"));
    if (sep < 0)
        return QStringLiteral("\"%1\" is not mqtt://HOST:PORT or mqtts://HOST:PORT").arg(text);
    const QString scheme = text.left(sep).toLower();
    if (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        return QStringLiteral("unknown scheme \"%1\": mqtt:// or mqtts://").arg(text.left(sep));
    QString rest = text.mid(sep + 3);
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    if (rest.contains(QLatin1Char('@')))
        return QStringLiteral("a user name or password does not go in the URL: use Username= and "
                              "PasswordFile=");
    if (rest.contains(QLatin1Char('/')) || rest.contains(QLatin1Char('?')) ||
        rest.contains(QLatin1Char('#')))
        return QStringLiteral("nothing may follow HOST:PORT in \"%1\"").arg(text);
    Broker b;
    b.tls = scheme == QLatin1String("mqtts");
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return QStringLiteral("\"%1\": the IPv6 address has no closing \"]\"").arg(text);
        b.host = rest.mid(1, close - 1);
        QHostAddress a;
        if (!a.setAddress(b.host) || a.protocol() != QAbstractSocket::IPv6Protocol)
            return QStringLiteral("\"%1\" is not an IPv6 address").arg(b.host);
        rest = rest.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return QStringLiteral("nothing may follow HOST:PORT in \"%1\"").arg(text);
        portText = rest.mid(1);
    } else {
        const int colon = rest.indexOf(QLatin1Char(':'));
        b.host = colon < 0 ? rest : rest.left(colon);
        portText = colon < 0 ? QString() : rest.mid(colon + 1);
        if (colon >= 0 && portText.contains(QLatin1Char(':')))
            return QStringLiteral("\"%1\": write an IPv6 address in brackets, [::1]").arg(text);
        for (const QChar c : b.host)
            if (!HostNameChar(c))
                return QStringLiteral("\"%1\" is not a host name or address").arg(b.host);
    }
    if (b.host.isEmpty())
        return QStringLiteral("\"%1\" names no host").arg(text);
    if (portText.isEmpty() && rest.contains(QLatin1Char(':')))
        return QStringLiteral("\"%1\" has an empty port").arg(text);
    if (portText.isEmpty()) {
        b.port = b.tls ? DefaultTlsPort : DefaultPort;
    } else {
        bool ok = false;
        b.port = portText.toInt(&ok);
        if (!ok || b.port < 1 || b.port > 65535 || portText.startsWith(QLatin1Char('+')))
            return QStringLiteral("port \"%1\" is not a number from 1 to 65535").arg(portText);
    }
    *out = b;
    return QString();
}

QString ReadPasswordFile(const QString &path, QByteArray *password) {
    QByteArray data;
    if (const QString why =
            ReadOwnerOnly(path, QStringLiteral("the password file"), MaxPasswordFileBytes, &data);
        !why.isEmpty())
        return why;
    const int end = data.indexOf('\n');
    QByteArray line = end < 0 ? data : data.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        return QStringLiteral("the password file %1 has no password on its first line").arg(path);
    *password = line;
    return QString();
}

QString CheckTopic(const QString &topic) {
    if (topic.isEmpty())
        return QStringLiteral("the topic is empty");
    if (topic.toUtf8().size() > MaxTopicBytes)
        return QStringLiteral("the topic is longer than %1 bytes").arg(MaxTopicBytes);
    if (topic.startsWith(QLatin1Char('$')))
        return QStringLiteral("topic \"%1\": a topic starting with \"$\" belongs to the broker")
            .arg(topic);
    for (const QChar c : topic) {
        if (c == QLatin1Char('+') || c == QLatin1Char('#'))
            return QStringLiteral("topic \"%1\": \"+\" and \"#\" are wildcards, not names")
                .arg(topic);
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("the topic holds a control character");
    }
    if (topic.startsWith(QLatin1Char('/')) || topic.endsWith(QLatin1Char('/')) ||
        topic.contains(QLatin1String("//")))
        return QStringLiteral("topic \"%1\" has an empty level").arg(topic);
    return QString();
}

QString DefaultTopic() {
    QString host = QSysInfo::machineHostName();
    for (QChar &c : host)
        if (!HostNameChar(c))
            c = QLatin1Char('_');
    return QStringLiteral("orvik/") + (host.isEmpty() ? QStringLiteral("amplifier") : host);
}

QString Prepare(const Settings &settings, Config *out) {
    Config c;
    if (const QString e = ParseBroker(settings.broker, &c.broker); !e.isEmpty())
        return QStringLiteral("Broker=: ") + e;
    c.topic = settings.topic.trimmed().isEmpty() ? DefaultTopic() : settings.topic.trimmed();
    if (const QString e = CheckTopic(c.topic); !e.isEmpty())
        return QStringLiteral("Topic=: ") + e;
    c.username = settings.username.trimmed().toUtf8();
    const QString passwordFile = settings.passwordFile.trimmed();
    if (!passwordFile.isEmpty()) {
        if (c.username.isEmpty())
            return QStringLiteral("PasswordFile= needs Username=");
        if (const QString e = ReadPasswordFile(passwordFile, &c.password); !e.isEmpty())
            return e;
    }
    c.caFile = settings.caFile.trimmed();
    if (!c.caFile.isEmpty()) {
        if (!c.broker.tls)
            return QStringLiteral("CAFile= is set but %1 is not encrypted: use mqtts://")
                .arg(c.broker.Url());
        const QFileInfo ca(c.caFile);
        if (!ca.isFile() || !ca.isReadable())
            return QStringLiteral("cannot read the CA file %1").arg(c.caFile);
    }
    c.control = settings.control;
    c.discovery = settings.discovery;
    c.allowRaw = settings.allowRaw;
    if (const QString prefix = settings.discoveryPrefix.trimmed(); !prefix.isEmpty()) {
        if (const QString e = CheckTopic(prefix); !e.isEmpty())
            return QStringLiteral("DiscoveryPrefix=: ") + e;
        c.discoveryPrefix = prefix;
    }
    if (const QString interval = settings.stateInterval.trimmed(); !interval.isEmpty()) {
        bool ok = false;
        const double seconds = interval.toDouble(&ok);
        if (!ok || !(seconds * 1000 >= MinStateIntervalMs && seconds * 1000 <= MaxStateIntervalMs))
            return QStringLiteral("StateInterval=%1: seconds from 0.1 to 3600").arg(interval);
        c.stateIntervalMs = int(std::lround(seconds * 1000));
    }
    c.configurationUrl = settings.configurationUrl.trimmed();
    if (!c.configurationUrl.isEmpty() && !QRegularExpression(QStringLiteral("^(https?)://[^\\s]+$"))
                                              .match(c.configurationUrl)
                                              .hasMatch())
        return QStringLiteral("the configuration URL %1 is not an http:// or https:// address")
            .arg(c.configurationUrl);
    *out = c;
    return QString();
}

} // namespace mqtt
