// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebRules.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace web {

QByteArray HttpRequest::Header(const QByteArray &name) const {
    for (const auto &h : headers)
        if (h.first == name)
            return h.second;
    return QByteArray();
}

bool HttpRequest::KeepAlive() const {
    return Header("connection").toLower() != "close";
}

ParseResult ParseRequest(const QByteArray &buffer, HttpRequest *out, int *consumed) {
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return buffer.size() > MaxHeadBytes ? ParseResult::HeadTooLarge : ParseResult::Incomplete;
    if (headEnd + 4 > MaxHeadBytes)
        return ParseResult::HeadTooLarge;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    if (lines.size() - 1 > MaxHeaders)
        return ParseResult::TooManyHeaders;
    HttpRequest r;
    const QList<QByteArray> first = lines.first().trimmed().split(' ');
    if (first.size() != 3 || !first.at(2).startsWith("HTTP/1.") || !first.at(1).startsWith('/'))
        return ParseResult::Bad;
    r.method = first.at(0);
    const QByteArray &target = first.at(1);
    const int q = target.indexOf('?');
    r.path = q < 0 ? target : target.left(q);
    r.query = q < 0 ? QByteArray() : target.mid(q + 1);
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return ParseResult::Bad;
        r.headers.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    if (!r.Header("transfer-encoding").isEmpty())
        return ParseResult::Bad; // the page never sends a chunked body
    qint64 length = 0;
    const QByteArray lengthText = r.Header("content-length");
    if (!lengthText.isEmpty()) {
        bool ok = false;
        length = lengthText.toLongLong(&ok);
        if (!ok || length < 0)
            return ParseResult::Bad;
    }
    if (length > MaxBodyBytes)
        return ParseResult::BodyTooLarge;
    if (buffer.size() - headEnd - 4 < length)
        return ParseResult::Incomplete;
    r.body = buffer.mid(headEnd + 4, int(length));
    *consumed = headEnd + 4 + int(length);
    *out = r;
    return ParseResult::Done;
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

qint64 LoginThrottle::WaitMs(const QHostAddress &address, qint64 nowMs) const {
    const auto it = entries_.constFind(address.toString());
    return it == entries_.cend() ? 0 : qMax<qint64>(0, it->until - nowMs);
}

void LoginThrottle::Failed(const QHostAddress &address, qint64 nowMs) {
    // Entries whose wait ended long ago go first.
    for (auto it = entries_.begin(); it != entries_.end();)
        it = nowMs - it->until > 10 * MaxWaitMs ? entries_.erase(it) : std::next(it);
    Entry &e = entries_[address.toString()];
    e.failures = qMin(e.failures + 1, 30);
    e.until = nowMs + qMin(MaxWaitMs, FirstWaitMs << (e.failures - 1));
}

void LoginThrottle::Succeeded(const QHostAddress &address) {
    entries_.remove(address.toString());
}

} // namespace web
