// SPDX-License-Identifier: GPL-3.0-or-later
// UUCP lock files for serial devices and the holder of a device.
#include "serial/PortLock.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace PortLock {

namespace {

QStringList &FolderList() {
    static QStringList folders{QStringLiteral("/run/lock"), QStringLiteral("/var/lock")};
    return folders;
}

QString WritableFolder() {
    for (const QString &folder : FolderList()) {
        const QByteArray name = QFile::encodeName(folder);
        struct stat st {};
        if (::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
            ::access(name.constData(), W_OK | X_OK) == 0)
            return folder;
    }
    return QString();
}

// The number at the start of a lock file (leading blanks allowed: the
// classic format is "%10d\n"); 0 when there is none.
long PidIn(const QByteArray &text) {
    long pid = 0;
    int i = 0;
    while (i < text.size() && (text.at(i) == ' ' || text.at(i) == '\t'))
        ++i;
    for (; i < text.size() && text.at(i) >= '0' && text.at(i) <= '9' && pid < 100000000; ++i)
        pid = pid * 10 + (text.at(i) - '0');
    return pid;
}

QByteArray ReadHead(int fd) {
    char buffer[128];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
}

bool Alive(long pid) {
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// What QLockFile writes too: the process number, the program's name and the
// host, one a line; programs that read only a number find it first.
QByteArray Contents() {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QByteArray::number(qint64(::getpid())) + '\n' +
           QFile::encodeName(QFileInfo(exe).fileName()) + '\n' +
           QSysInfo::machineHostName().toUtf8() + '\n';
}

} // namespace

QStringList Folders() {
    return FolderList();
}

void SetFolders(const QStringList &folders) {
    FolderList() = folders;
}

QString FileName(const QString &device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    QString name = canonical.isEmpty() ? device : canonical;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

QString ProcessText(long pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly)
                             ? QString::fromLocal8Bit(comm.readAll().trimmed())
                             : QString();
    const QString process = QStringLiteral("process %1").arg(pid);
    return name.isEmpty() ? process : QStringLiteral("%1 (%2)").arg(name, process);
}

QString DeviceHolder(const QString &device) {
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return QString();
    // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5 0 EOF": the holder and the
    // file as major:minor (hex) of its file system and its inode.
    const QByteArray file = QByteArray::number(major(st.st_dev), 16).rightJustified(2, '0') + ':' +
                            QByteArray::number(minor(st.st_dev), 16).rightJustified(2, '0') + ':' +
                            QByteArray::number(qulonglong(st.st_ino));
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 6 && f.at(1) == "FLOCK" && f.at(5) == file)
            return ProcessText(f.at(4).toLong());
    }
    return QString();
}

bool Lock::Acquire(const QString &device, QString *holder) {
    Release();
    const QString canonical = QFileInfo(device).canonicalFilePath();
    const QString folder = WritableFolder();
    if (canonical.isEmpty() || folder.isEmpty())
        return true;
    const QString file = folder + QLatin1Char('/') + FileName(canonical);
    const QByteArray name = QFile::encodeName(file);
    // A few rounds: the last holder may remove the file between our open and our lock.
    for (int round = 0; round < 3; ++round) {
        const int f = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (f < 0) {
            // Another user's file in the sticky lock folder: it counts while
            // its process lives; a stale one cannot be taken over, and the
            // lock on the device still keeps a second program out.
            const int r = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            const long pid = r >= 0 ? PidIn(ReadHead(r)) : 0;
            if (r >= 0)
                ::close(r);
            if (pid > 0 && Alive(pid)) {
                *holder = ProcessText(pid);
                return false;
            }
            return true;
        }
        if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
            const long pid = PidIn(ReadHead(f));
            ::close(f);
            *holder = pid > 0 ? ProcessText(pid) : QStringLiteral("another program");
            return false;
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(f, &opened) != 0 || ::stat(name.constData(), &named) != 0 ||
            opened.st_ino != named.st_ino || opened.st_dev != named.st_dev) {
            ::close(f);
            continue;
        }
        // A holder that keeps the file without flock() (the older UUCP way).
        const long pid = PidIn(ReadHead(f));
        if (pid > 0 && pid != long(::getpid()) && Alive(pid)) {
            ::close(f);
            *holder = ProcessText(pid);
            return false;
        }
        const QByteArray text = Contents();
        if (::ftruncate(f, 0) != 0 || ::pwrite(f, text.constData(), size_t(text.size()), 0) < 0) {
            ::close(f);
            return true;
        }
        fd = f;
        path = file;
        return true;
    }
    return true;
}

void Lock::Release() {
    if (fd < 0)
        return;
    // Removed while still locked, so nobody takes over a file on its way out.
    ::unlink(QFile::encodeName(path).constData());
    ::close(fd);
    fd = -1;
    path.clear();
}

} // namespace PortLock
