// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/RemoteRules.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace remote {

QHostAddress Unmapped(const QHostAddress &a) {
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4) : a;
}

QString ParseListen(const QString &text, ListenAddress *out) {
    const QString t = text.trimmed();
    const int colon = t.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return QStringLiteral("\"%1\" is not HOST:PORT").arg(text);
    QString host = t.left(colon);
    bool ok = false;
    const uint port = t.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535)
        return QStringLiteral("\"%1\" has no valid port").arg(text);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return QStringLiteral("\"%1\": write an IPv6 address in brackets, [::1]:4531").arg(text);
    QHostAddress address;
    // Every address, as users mean it: both families, whichever was written.
    if (host.isEmpty() || host == QLatin1String("0.0.0.0") || host == QLatin1String("::"))
        address = QHostAddress(QHostAddress::Any);
    else if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return QStringLiteral("\"%1\" is not an IP address").arg(host);
    // No socket can listen on an IPv4 address in its IPv6 form: the start
    // would fail every time, as if the address were not there yet.
    if (address.protocol() == QAbstractSocket::IPv6Protocol &&
        Unmapped(address).protocol() == QAbstractSocket::IPv4Protocol)
        return QStringLiteral("\"%1\" is an IPv4 address in IPv6 form, which nothing can listen "
                              "on; write %2:%3")
            .arg(host, Unmapped(address).toString())
            .arg(port);
    out->host = address;
    out->port = quint16(port);
    return QString();
}

QString ParseAllow(const QString &text, QList<Subnet> *out) {
    QList<Subnet> list;
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    for (const QString &entry : text.split(separators, Qt::SkipEmptyParts)) {
        Subnet s;
        if (entry.contains(QLatin1Char('/'))) {
            s = QHostAddress::parseSubnet(entry);
            if (s.first.isNull() || s.second < 0)
                return QStringLiteral("\"%1\" is not an address or CIDR range").arg(entry);
        } else {
            QHostAddress a;
            if (!a.setAddress(entry))
                return QStringLiteral("\"%1\" is not an address or CIDR range").arg(entry);
            s = {a, a.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128};
        }
        // An IPv4 address or range in IPv6 form (::ffff:10.0.0.2) as what it
        // is, so that it matches its clients on an IPv4 listen address too.
        if (s.first.protocol() == QAbstractSocket::IPv6Protocol && s.second >= 96 &&
            Unmapped(s.first).protocol() == QAbstractSocket::IPv4Protocol)
            s = {Unmapped(s.first), s.second - 96};
        list.append(s);
    }
    *out = list;
    return QString();
}

bool PeerAllowed(const QHostAddress &peer, const QList<Subnet> &allow) {
    // A dual-stack listener sees IPv4 peers as ::ffff:a.b.c.d.
    const QHostAddress p = Unmapped(peer);
    if (p.isLoopback())
        return true;
    for (const Subnet &s : allow)
        if (p.isInSubnet(s) || peer.isInSubnet(s))
            return true;
    return false;
}

QString UnreachableEntry(const QHostAddress &listen, const QList<Subnet> &allow) {
    const auto family = listen.protocol();
    if (family != QAbstractSocket::IPv4Protocol && family != QAbstractSocket::IPv6Protocol)
        return QString();
    for (const Subnet &s : allow) {
        const bool v4 = Unmapped(s.first).protocol() == QAbstractSocket::IPv4Protocol;
        if (v4 != (family == QAbstractSocket::IPv4Protocol))
            return QStringLiteral("%1/%2 is %3, but %4 receives only %5")
                .arg(s.first.toString())
                .arg(s.second)
                .arg(v4 ? QStringLiteral("IPv4") : QStringLiteral("IPv6"), listen.toString(),
                     v4 ? QStringLiteral("IPv6") : QStringLiteral("IPv4"));
    }
    return QString();
}

QString Refusal(bool loopback, int clients, int remote, int fromPeer) {
    if (clients >= MaxClients)
        return QStringLiteral("%1 clients already connected").arg(MaxClients);
    if (loopback)
        return QString();
    if (fromPeer >= MaxPerAddress)
        return QStringLiteral("%1 clients already connected from there").arg(MaxPerAddress);
    if (remote >= MaxClients - LoopbackReserve)
        return QStringLiteral("the last %1 places are kept for local clients").arg(LoopbackReserve);
    return QString();
}

bool ParseIdleTimeout(const QString &text, qint64 *ms) {
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        *ms = 300 * 1000;
        return true;
    }
    bool ok = false;
    const double seconds = t.toDouble(&ok);
    // Up to a year; a longer wait is no time-out in practice.
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 366.0 * 86400)
        return false;
    *ms = qint64(std::llround(seconds * 1000));
    return true;
}

bool ParseCommandLine(const QByteArray &line, CommandLine *out) {
    CommandLine c;
    int i = 0;
    const int n = int(line.size());
    auto blank = [&](int k) { return line.at(k) == ' ' || line.at(k) == '\t'; };
    while (i < n && blank(i))
        ++i;
    if (i == n)
        return false;
    const char first = line.at(i);
    if (first == '+' || first == ';' || first == '|' || first == ',') {
        c.separator = first == '+' ? '\n' : first;
        ++i;
    }
    if (i < n && line.at(i) == '#')
        return false;
    if (i < n && line.at(i) == '\\') {
        c.longName = true;
        ++i;
    }
    const int wordStart = i;
    while (i < n && !blank(i))
        ++i;
    c.word = line.mid(wordStart, i - wordStart);
    if (i < n)
        c.rest = line.mid(i + 1);
    // A word that starts with "#" begins a comment, as in ampctld, where it
    // is read as the next command.
    const QByteArray args = line.mid(i).replace('\t', ' ');
    for (const QByteArray &a : args.split(' ')) {
        if (a.startsWith('#'))
            break;
        if (!a.isEmpty())
            c.args.append(a);
    }
    *out = c;
    return true;
}

} // namespace remote
