// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebRules.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace web {

QByteArray HttpRequest::Header(const QByteArray &name) const {
    for (const auto &h : headers)
        if (h.first == name)
            return h.second;
    return QByteArray();
}

bool HttpRequest::HasToken(const QByteArray &name, const QByteArray &token) const {
    for (const QByteArray &option : Header(name).split(','))
        if (option.trimmed().toLower() == token)
            return true;
    return false;
}

bool HttpRequest::KeepAlive() const {
    return !http10 && !HasToken("connection", "close");
}

int HttpRequest::Count(const QByteArray &name) const {
    int n = 0;
    for (const auto &h : headers)
        n += h.first == name ? 1 : 0;
    return n;
}

namespace {

// RFC 9110's token characters: a method, a field name.
bool IsToken(const QByteArray &text) {
    static const QByteArray marks = "!#$%&'*+-.^_`|~";
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               marks.contains(c);
    });
}

// A field's value: visible characters, obs-text, spaces and tabs; no
// control character (NUL, CR, LF among them).
bool IsFieldValue(const QByteArray &value) {
    return std::all_of(value.begin(), value.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 0x20 && u != 0x7F) || u == '\t';
    });
}

// An origin-form target: '/' and visible characters only.
bool IsTarget(const QByteArray &target) {
    return target.startsWith('/') &&
           std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

QByteArray TrimSpaces(const QByteArray &value) {
    qsizetype from = 0, to = value.size();
    while (from < to && (value.at(from) == ' ' || value.at(from) == '\t'))
        ++from;
    while (to > from && (value.at(to - 1) == ' ' || value.at(to - 1) == '\t'))
        --to;
    return value.mid(from, to - from);
}

// The request line and the fields, from a head whose lines each end in CRLF.
bool ParseHead(const QByteArray &head, HttpRequest *r) {
    QList<QByteArray> lines = head.split('\n');
    lines.removeLast(); // after the last CRLF
    for (QByteArray &line : lines)
        line.chop(1); // its CR
    const QList<QByteArray> first = lines.first().split(' ');
    if (first.size() != 3 || !IsToken(first.at(0)) || !IsTarget(first.at(1)) ||
        (first.at(2) != "HTTP/1.1" && first.at(2) != "HTTP/1.0"))
        return false;
    r->method = first.at(0);
    r->http10 = first.at(2) == "HTTP/1.0";
    const QByteArray &target = first.at(1);
    const int q = target.indexOf('?');
    r->path = q < 0 ? target : target.left(q);
    r->query = q < 0 ? QByteArray() : target.mid(q + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        // No space before the colon, no folded line (it starts with one).
        const int colon = line.indexOf(':');
        if (colon <= 0 || !IsToken(line.left(colon)) || !IsFieldValue(line.mid(colon + 1)))
            return false;
        r->headers.append({line.left(colon).toLower(), TrimSpaces(line.mid(colon + 1))});
    }
    // One Host (HTTP/1.1 requires it); the body's length once, in digits,
    // never chunked: a proxy in front must not read these bytes otherwise.
    const QByteArray length = r->Header("content-length");
    const int hosts = r->Count("host");
    return hosts <= 1 && (hosts == 1 || r->http10) && r->Count("content-length") <= 1 &&
           r->Count("transfer-encoding") == 0 &&
           (r->Count("content-length") == 0 ||
            (!length.isEmpty() && length.size() <= 9 &&
             std::all_of(length.begin(), length.end(),
                         [](char c) { return c >= '0' && c <= '9'; })));
}

} // namespace

ParseResult ParseRequest(const QByteArray &buffer, HttpRequest *out, int *consumed) {
    // Empty lines before a request are skipped (RFC 9112, 2.2).
    int start = 0;
    while (buffer.mid(start, 2) == "\r\n")
        start += 2;
    // Lines end in CRLF: a bare CR or LF is refused as soon as it is seen.
    const int scan = int(std::min<qsizetype>(buffer.size(), MaxHeadBytes + 1));
    int headEnd = -1;
    for (int i = start; i < scan && headEnd < 0; ++i) {
        const char c = buffer.at(i);
        if (c == '\n' && (i == start || buffer.at(i - 1) != '\r'))
            return ParseResult::Bad;
        if (c == '\r' && i + 1 < buffer.size() && buffer.at(i + 1) != '\n')
            return ParseResult::Bad;
        if (c == '\n' && i >= start + 3 && buffer.at(i - 2) == '\n')
            headEnd = i + 1;
    }
    if (headEnd < 0)
        return buffer.size() > MaxHeadBytes ? ParseResult::HeadTooLarge : ParseResult::Incomplete;
    if (headEnd - start > MaxHeadBytes)
        return ParseResult::HeadTooLarge;
    const QByteArray head = buffer.mid(start, headEnd - start - 2);
    if (head.count('\n') - 1 > MaxHeaders)
        return ParseResult::TooManyHeaders;
    HttpRequest r;
    if (!ParseHead(head, &r))
        return ParseResult::Bad;
    const qint64 length = r.Header("content-length").toLongLong();
    if (length > MaxBodyBytes)
        return ParseResult::BodyTooLarge;
    if (buffer.size() - headEnd < length)
        return ParseResult::Incomplete;
    r.body = buffer.mid(headEnd, int(length));
    *consumed = headEnd + int(length);
    *out = r;
    return ParseResult::Done;
}

bool StrongCipher(const QString &name) {
    if (name.startsWith(QLatin1String("TLS_")))
        return true;
    const bool ephemeral =
        name.startsWith(QLatin1String("ECDHE-")) || name.startsWith(QLatin1String("DHE-"));
    const bool aead =
        name.contains(QLatin1String("-GCM-")) || name.contains(QLatin1String("CHACHA20-POLY1305"));
    return ephemeral && aead && !name.contains(QLatin1String("PSK"));
}

QByteArray CookieValue(const QByteArray &cookieHeader, const QByteArray &name) {
    for (const QByteArray &part : cookieHeader.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.startsWith(name + '='))
            return p.mid(name.size() + 1);
    }
    return QByteArray();
}

bool SameOrigin(const QByteArray &origin, const QByteArray &host, bool tls) {
    if (origin.isEmpty() || host.isEmpty())
        return false;
    return origin == (tls ? QByteArray("https://") : QByteArray("http://")) + host;
}

QHash<QString, QString> FormFields(const QByteArray &body) {
    QHash<QString, QString> fields;
    QByteArray text = body;
    text.replace('+', ' ');
    const QUrlQuery query(QString::fromUtf8(text));
    for (const auto &item : query.queryItems(QUrl::FullyDecoded))
        fields.insert(item.first, item.second);
    return fields;
}

QString RoleName(Role role) {
    return role == Role::Operator ? QStringLiteral("operator") : QStringLiteral("viewer");
}

bool ParseRole(const QString &text, Role *role) {
    if (text == QLatin1String("viewer"))
        *role = Role::Viewer;
    else if (text == QLatin1String("operator"))
        *role = Role::Operator;
    else
        return false;
    return true;
}

bool ValidUserName(const QString &name) {
    static const QRegularExpression rule(QStringLiteral("^[A-Za-z0-9._-]{1,32}$"));
    return rule.match(name).hasMatch();
}

namespace {
constexpr int SaltBytes = 16;
constexpr int HashBytes = 32;
const QByteArray Scheme = "pbkdf2-sha256";

QByteArray Derive(const QByteArray &password, const QByteArray &salt, int iterations) {
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password, salt,
                                              iterations, HashBytes);
}
} // namespace

QByteArray UserLine(const WebUser &u) {
    return u.name.toUtf8() + ':' + RoleName(u.role).toUtf8() + ':' + Scheme + ':' +
           QByteArray::number(u.iterations) + ':' + u.salt.toBase64() + ':' + u.hash.toBase64();
}

bool ParseUserLine(const QByteArray &line, WebUser *user) {
    const QList<QByteArray> f = line.trimmed().split(':');
    if (f.size() != 6 || f.at(2) != Scheme)
        return false;
    WebUser u;
    u.name = QString::fromUtf8(f.at(0));
    bool ok = false;
    u.iterations = f.at(3).toInt(&ok);
    const auto salt =
        QByteArray::fromBase64Encoding(f.at(4), QByteArray::AbortOnBase64DecodingErrors);
    const auto hash =
        QByteArray::fromBase64Encoding(f.at(5), QByteArray::AbortOnBase64DecodingErrors);
    if (!ValidUserName(u.name) || !ParseRole(QString::fromUtf8(f.at(1)), &u.role) || !ok ||
        u.iterations < 1 || !salt || !hash || salt.decoded.isEmpty() ||
        hash.decoded.size() != HashBytes)
        return false;
    u.salt = salt.decoded;
    u.hash = hash.decoded;
    *user = u;
    return true;
}

WebUser MakeUser(const QString &name, Role role, const QByteArray &password) {
    WebUser u;
    u.name = name;
    u.role = role;
    u.iterations = HashIterations;
    u.salt.resize(SaltBytes);
    QRandomGenerator::system()->generate(u.salt.begin(), u.salt.end());
    u.hash = Derive(password, u.salt, u.iterations);
    return u;
}

bool CheckPassword(const WebUser &user, const QByteArray &password) {
    const QByteArray h = Derive(password, user.salt, user.iterations);
    if (h.size() != user.hash.size())
        return false;
    unsigned char diff = 0;
    for (int i = 0; i < h.size(); ++i)
        diff |= static_cast<unsigned char>(h.at(i) ^ user.hash.at(i));
    return diff == 0;
}

QString LoginThrottle::Key(const QString &user, const QHostAddress &client) {
    return user + QLatin1Char(' ') + ClientKey(client);
}

qint64 LoginThrottle::WaitMs(const QString &key, qint64 nowMs) const {
    const auto it = entries_.constFind(key);
    return it == entries_.cend() ? 0 : qMax<qint64>(0, it->until - nowMs);
}

void LoginThrottle::Failed(const QString &key, qint64 nowMs) {
    // Entries whose wait ended long ago go first.
    for (auto it = entries_.begin(); it != entries_.end();)
        it = nowMs - it->until > 10 * MaxWaitMs ? entries_.erase(it) : std::next(it);
    Entry &e = entries_[key];
    e.failures = qMin(e.failures + 1, 30);
    e.until = nowMs + qMin(MaxWaitMs, FirstWaitMs << (e.failures - 1));
}

void LoginThrottle::Succeeded(const QString &key) {
    entries_.remove(key);
}

QString ClientKey(const QHostAddress &address) {
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return address.toString();
    Q_IPV6ADDR bytes = address.toIPv6Address();
    std::fill(std::begin(bytes.c) + 8, std::end(bytes.c), quint8(0));
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

QString ParseProxies(const QString &text, QList<QPair<QHostAddress, int>> *networks) {
    QList<QPair<QHostAddress, int>> read;
    for (const QString &item :
         text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        QPair<QHostAddress, int> network = QHostAddress::parseSubnet(item);
        if (!item.contains(QLatin1Char('/')) && QHostAddress(item).isNull())
            network.first = QHostAddress();
        else if (!item.contains(QLatin1Char('/')))
            network = {QHostAddress(item),
                       QHostAddress(item).protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
        if (network.first.isNull())
            return QStringLiteral("\"%1\" is not an address or ADDRESS/BITS").arg(item);
        read.append(network);
    }
    *networks = read;
    return QString();
}

QHostAddress RealClient(const QHostAddress &peer, const QByteArray &forwardedFor,
                        const QList<QPair<QHostAddress, int>> &trusted) {
    auto isTrusted = [&trusted](const QHostAddress &a) {
        return std::any_of(trusted.cbegin(), trusted.cend(),
                           [&a](const auto &n) { return a.isInSubnet(n); });
    };
    if (!isTrusted(peer))
        return peer;
    QHostAddress client = peer;
    const QList<QByteArray> hops = forwardedFor.split(',');
    for (auto it = hops.crbegin(); it != hops.crend(); ++it) {
        const QHostAddress hop(QString::fromLatin1(it->trimmed()));
        if (hop.isNull())
            break; // not an address: what is left of it is not believed
        client = hop.protocol() == QAbstractSocket::IPv6Protocol && hop.toIPv4Address()
                     ? QHostAddress(hop.toIPv4Address())
                     : hop;
        if (!isTrusted(client))
            break;
    }
    return client;
}

} // namespace web
