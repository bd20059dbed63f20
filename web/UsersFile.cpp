// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/UsersFile.h"

#include "config/OwnerOnlyFile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

namespace web {

namespace {

constexpr qint64 MaxFileBytes = 64 * 1024;

QString ReadOwnerOnly(const QString &path, QByteArray *data, FileStamp *stamp = nullptr) {
    return ::ReadOwnerOnly(path, QStringLiteral("the users file"), MaxFileBytes, data, stamp);
}

// Writes the file whole, private from its first byte: the umask makes it
// so before the permissions are set.
QString WriteUsers(const QString &path, const QByteArray &text) {
    const mode_t old = ::umask(077);
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                    file.write(text) == text.size() && file.commit();
    ::umask(old);
    if (!ok)
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return QString();
}

// The file's lines but the named user's; *found whether it had one.
QString OtherLines(const QString &path, const QString &name, QByteArray *text, bool *found) {
    QByteArray data;
    if (const QString why = ReadOwnerOnly(path, &data); !why.isEmpty())
        return why;
    for (const QByteArray &line : data.split('\n')) {
        WebUser u;
        if (line.trimmed().isEmpty())
            continue;
        if (ParseUserLine(line, &u) && u.name == name)
            *found = true;
        else
            *text += line + '\n';
    }
    return QString();
}

} // namespace

QString ReadUsersFile(const QString &path, QList<WebUser> *users, FileStamp *stamp) {
    QByteArray data;
    if (const QString why = ReadOwnerOnly(path, &data, stamp); !why.isEmpty())
        return why;
    QList<WebUser> read;
    int number = 0;
    for (const QByteArray &line : data.split('\n')) {
        ++number;
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        WebUser u;
        if (!ParseUserLine(line, &u))
            return QStringLiteral("the users file %1: line %2 is not a user; write it with "
                                  "orvik-control --web-passwd")
                .arg(path)
                .arg(number);
        read.append(u);
    }
    *users = read;
    return QString();
}

QString SetUser(const QString &path, const WebUser &user) {
    QByteArray text;
    bool found = false;
    if (QFileInfo::exists(path))
        if (const QString why = OtherLines(path, user.name, &text, &found); !why.isEmpty())
            return why;
    return WriteUsers(path, text + UserLine(user) + '\n');
}

QString RemoveUser(const QString &path, const QString &name) {
    QByteArray text;
    bool found = false;
    if (const QString why = OtherLines(path, name, &text, &found); !why.isEmpty())
        return why;
    if (!found)
        return QStringLiteral("%1 has no user %2").arg(path, name);
    return WriteUsers(path, text);
}

} // namespace web
