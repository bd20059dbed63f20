// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/Sessions.h"

#include <QRandomGenerator>

namespace web {

QByteArray RandomToken() {
    QByteArray bytes(32, 0);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

const Session &Sessions::Create(const QString &user, Role role, const QHostAddress &address,
                                qint64 nowMs) {
    Expire(nowMs);
    Session s;
    s.id = RandomToken();
    s.token = RandomToken();
    s.user = user;
    s.role = role;
    s.address = address;
    s.createdMs = s.usedMs = nowMs;
    return *sessions_.insert(s.id, s);
}

bool Sessions::Expired(const Session &s, qint64 nowMs) const {
    return nowMs - s.usedMs >= idleMs_ || nowMs - s.createdMs >= LifetimeMs;
}

const Session *Sessions::Use(const QByteArray &id, qint64 nowMs) {
    const auto it = sessions_.find(id);
    if (id.isEmpty() || it == sessions_.end())
        return nullptr;
    if (Expired(*it, nowMs)) {
        sessions_.erase(it);
        return nullptr;
    }
    it->usedMs = nowMs;
    return &*it;
}

void Sessions::End(const QByteArray &id) {
    sessions_.remove(id);
}

QList<QByteArray> Sessions::EndUser(const QString &user) {
    QList<QByteArray> ended;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->user == user) {
            ended.append(it->id);
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
    return ended;
}

void Sessions::Expire(qint64 nowMs) {
    for (auto it = sessions_.begin(); it != sessions_.end();)
        it = Expired(*it, nowMs) ? sessions_.erase(it) : std::next(it);
}

} // namespace web
