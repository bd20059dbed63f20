// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/OwnerOnlyFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

FileStamp Stamp(const struct stat &st) {
    FileStamp s;
    s.inode = qint64(st.st_ino);
    s.size = qint64(st.st_size);
    s.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

QString Errno() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString ReadOwnerOnly(const QString &path, const QString &what, qint64 maxBytes, QByteArray *data,
                      FileStamp *stamp) {
    // Opened without waiting (a FIFO would block) and checked through the
    // descriptor, so that the file checked is the file read.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return QStringLiteral("cannot read %1 %2: %3").arg(what, path, Errno());
    struct stat st {};
    QString reason;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        reason = QStringLiteral("%1 %2 is not a regular file").arg(what, path);
    else if (st.st_mode & 077)
        reason = QStringLiteral("%1 %2 may be read or written by others (mode %3); make it "
                                "readable by its owner alone: chmod 600 %2")
                     .arg(what, path)
                     .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
    else if (st.st_size > maxBytes)
        reason = QStringLiteral("%1 %2 is larger than %3 bytes").arg(what, path).arg(maxBytes);
    QByteArray read;
    if (reason.isEmpty()) {
        read.resize(qsizetype(maxBytes) + 1);
        ssize_t n = 0;
        qsizetype got = 0;
        while (got < read.size() &&
               ((n = ::read(fd, read.data() + got, size_t(read.size() - got))) > 0 ||
                (n < 0 && errno == EINTR)))
            got += n > 0 ? n : 0;
        read.truncate(got);
        if (n < 0)
            reason = QStringLiteral("cannot read %1 %2: %3").arg(what, path, Errno());
        else if (got > maxBytes) // it grew while being read
            reason = QStringLiteral("%1 %2 is larger than %3 bytes").arg(what, path).arg(maxBytes);
    }
    ::close(fd);
    if (!reason.isEmpty())
        return reason;
    *data = read;
    if (stamp)
        *stamp = Stamp(st);
    return QString();
}

FileStamp StampOf(const QString &path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return FileStamp();
    return Stamp(st);
}
