// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/UsersFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace web {

namespace {

constexpr qint64 MaxFileBytes = 64 * 1024;

// Opened first and checked through the descriptor, so that the file checked
// is the file read.
QString ReadOwnerOnly(const QString &path, QByteArray *data) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return QStringLiteral("cannot read the users file %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    QString reason;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        reason = QStringLiteral("the users file %1 is not a regular file").arg(path);
    else if (st.st_mode & 077)
        reason = QStringLiteral("the users file %1 may be read or written by others (mode %2); "
                                "make it readable by its owner alone: chmod 600 %1")
                     .arg(path)
                     .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
    else if (st.st_size > MaxFileBytes)
        reason =
            QStringLiteral("the users file %1 is larger than %2 bytes").arg(path).arg(MaxFileBytes);
    if (reason.isEmpty()) {
        QFile f;
        if (!f.open(fd, QIODevice::ReadOnly))
            reason = QStringLiteral("cannot read the users file %1").arg(path);
        else
            *data = f.read(MaxFileBytes);
    }
    ::close(fd);
    return reason;
}

} // namespace

QString ReadUsersFile(const QString &path, QList<WebUser> *users) {
    QByteArray data;
    if (const QString why = ReadOwnerOnly(path, &data); !why.isEmpty())
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
    if (read.isEmpty())
        return QStringLiteral("the users file %1 has no user; add one with orvik-control "
                              "--web-passwd %1 USER operator")
            .arg(path);
    *users = read;
    return QString();
}

QString SetUser(const QString &path, const WebUser &user) {
    QByteArray text;
    if (QFileInfo::exists(path)) {
        QByteArray data;
        if (const QString why = ReadOwnerOnly(path, &data); !why.isEmpty())
            return why;
        for (const QByteArray &line : data.split('\n')) {
            WebUser u;
            if (line.trimmed().isEmpty() || (ParseUserLine(line, &u) && u.name == user.name))
                continue;
            text += line + '\n';
        }
    }
    text += UserLine(user) + '\n';
    // The new file is private from its first byte: the umask makes it so
    // before the permissions are set.
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

} // namespace web
