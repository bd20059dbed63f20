// SPDX-License-Identifier: GPL-3.0-or-later
// The page's log-in sessions: a random identifier in an HttpOnly cookie, a
// second random token that the page sends with each command (another site
// cannot read it), an idle expiry and a longest life.
#pragma once

#include "web/WebRules.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>

namespace web {

struct Session {
    QByteArray id;    // the cookie's value
    QByteArray token; // the commands' token
    QString user;
    Role role = Role::Viewer;
    QHostAddress address;
    qint64 createdMs = 0;
    qint64 usedMs = 0;
    // "alice@192.0.2.1": who the command gate and the logs name.
    QString Who() const { return user + QLatin1Char('@') + address.toString(); }
};

class Sessions {
public:
    static constexpr qint64 DefaultIdleMs = 30 * 60 * 1000;
    static constexpr qint64 LifetimeMs = 12 * 60 * 60 * 1000;
    void SetIdleMs(qint64 ms) { idleMs_ = ms; }

    const Session &Create(const QString &user, Role role, const QHostAddress &address,
                          qint64 nowMs);
    // The live session of a cookie's value, its use noted; nullptr when
    // unknown or expired (an expired one is forgotten).
    const Session *Use(const QByteArray &id, qint64 nowMs);
    void End(const QByteArray &id);
    // Ends every session of the user; their identifiers.
    QList<QByteArray> EndUser(const QString &user);
    // Forgets every expired session.
    void Expire(qint64 nowMs);
    int Count() const { return int(sessions_.size()); }

private:
    bool Expired(const Session &s, qint64 nowMs) const;
    qint64 idleMs_ = DefaultIdleMs;
    QHash<QByteArray, Session> sessions_;
};

// 32 random bytes from the system's generator, base64url without padding.
QByteArray RandomToken();

} // namespace web
