// SPDX-License-Identifier: GPL-3.0-or-later
// UUCP lock files for serial devices and the holder of a device.
#include "serial/PortLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <dirent.h>
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

QStringList &LinkFolderList() {
    static QStringList folders{QStringLiteral("/dev/serial/by-id"),
                               QStringLiteral("/dev/serial/by-path")};
    return folders;
}

// Whether process pid has the character device rdev open: 1 yes, 0 no, -1
// when its descriptors cannot be read (another user's, or gone).
int OpenIn(long pid, dev_t rdev) {
    const QString folder = QStringLiteral("/proc/%1/fd/").arg(pid);
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return errno == ENOENT ? 0 : -1;
    int found = 0;
    while (const dirent *entry = ::readdir(dir)) {
        struct stat opened {};
        if (entry->d_name[0] != '.' &&
            ::stat(QFile::encodeName(folder + QString::fromLatin1(entry->d_name)).constData(),
                   &opened) == 0 &&
            S_ISCHR(opened.st_mode) && opened.st_rdev == rdev) {
            found = 1;
            break;
        }
    }
    ::closedir(dir);
    return found;
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

QStringList LinkFolders() {
    return LinkFolderList();
}

void SetLinkFolders(const QStringList &folders) {
    LinkFolderList() = folders;
}

QStringList Names(const QString &device) {
    QStringList names;
    QString name = QDir::cleanPath(QFileInfo(device).absoluteFilePath());
    // Each link in turn, as far as a chain of links can sensibly go.
    for (int hop = 0; hop < 16 && !name.isEmpty() && !names.contains(name); ++hop) {
        names << name;
        const QByteArray encoded = QFile::encodeName(name);
        char target[4096];
        const ssize_t n = ::readlink(encoded.constData(), target, sizeof target - 1);
        if (n <= 0)
            break;
        const QString next = QFile::decodeName(QByteArray(target, int(n)));
        name = QDir::cleanPath(QDir::isAbsolutePath(next)
                                   ? next
                                   : QFileInfo(name).absolutePath() + QLatin1Char('/') + next);
    }
    // The device itself, also when a folder on the way was a link.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    if (canonical.isEmpty())
        return names;
    if (!names.contains(canonical))
        names << canonical;
    // Its names that other programs may have been given.
    for (const QString &folder : std::as_const(LinkFolderList())) {
        const QDir dir(folder);
        for (const QString &entry : dir.entryList(QDir::System | QDir::NoDotAndDotDot)) {
            const QString link = dir.filePath(entry);
            if (!names.contains(link) && QFileInfo(link).canonicalFilePath() == canonical)
                names << link;
        }
    }
    return names;
}

QString FileName(const QString &path) {
    QString name = path;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

QStringList FileNamesOf(const QString &path) {
    // The other programs' namings are of device names; a name outside /dev
    // (a link of one's own) keeps the full path's, so that two such links
    // with one base name never lock each other out.
    if (!path.startsWith(QLatin1String("/dev/")))
        return {FileName(path)};
    const int first = path.indexOf(QLatin1Char('/'), 1);
    QString below = first >= 0 ? path.mid(first + 1) : path;
    QStringList files{FileName(path),
                      QStringLiteral("LCK..") + below.replace(QLatin1Char('/'), QLatin1Char('_')),
                      QStringLiteral("LCK..") + QFileInfo(path).fileName()};
    files.removeDuplicates();
    return files;
}

QStringList FileNames(const QString &device) {
    QStringList files;
    for (const QString &name : Names(device))
        files << FileNamesOf(name);
    files.removeDuplicates();
    return files;
}

QString ProcessText(long pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly)
                             ? QString::fromLocal8Bit(comm.readAll().trimmed())
                             : QString();
    const QString process = QStringLiteral("process %1").arg(pid);
    return name.isEmpty() ? process : QStringLiteral("%1 (%2)").arg(name, process);
}

bool HasOpen(long pid, unsigned long long rdev) {
    // Not a character device (a test's stand-in): the process is believed.
    return rdev == 0 || OpenIn(pid, dev_t(rdev)) != 0;
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

QString OpenedBy(const QString &device) {
    struct stat dev {};
    if (::stat(QFile::encodeName(device).constData(), &dev) != 0 || !S_ISCHR(dev.st_mode))
        return QString();
    // Terminals only: /dev/null and the like are open everywhere.
    const QString sysfs = QStringLiteral("/sys/dev/char/%1:%2/subsystem")
                              .arg(major(dev.st_rdev))
                              .arg(minor(dev.st_rdev));
    if (!QFileInfo(device).canonicalFilePath().startsWith(QLatin1String("/dev/pts/")) &&
        QFileInfo(sysfs).canonicalFilePath() != QLatin1String("/sys/class/tty"))
        return QString();
    const long self = long(::getpid());
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &process : processes) {
        bool number = false;
        const long pid = process.toLong(&number);
        // Another user's descriptors cannot be read without privilege: they
        // are left to the lock files and the device's own claims.
        if (number && pid != self && OpenIn(pid, dev.st_rdev) == 1)
            return ProcessText(pid);
    }
    return QString();
}

namespace {

enum class Taken { Yes, Refused, NoFile };

// One lock file: taken (its descriptor in *fd), refused with its holder, or
// not made (a file of another user that counts for nothing).
// A lock file's process counts while it lives and, where that can be seen,
// has the device open: a lock that names a process that does not (left
// behind, its number since reused) is stale.
bool Holding(long pid, dev_t rdev) {
    return pid > 0 && pid != long(::getpid()) && Alive(pid) && HasOpen(pid, rdev);
}

Taken TakeFile(const QString &file, dev_t rdev, int *fd, QString *holder) {
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
            if (Holding(pid, rdev)) {
                *holder = ProcessText(pid);
                return Taken::Refused;
            }
            return Taken::NoFile;
        }
        if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
            const long pid = PidIn(ReadHead(f));
            ::close(f);
            *holder = pid > 0 ? ProcessText(pid) : QStringLiteral("another program");
            return Taken::Refused;
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(f, &opened) != 0 || ::stat(name.constData(), &named) != 0 ||
            opened.st_ino != named.st_ino || opened.st_dev != named.st_dev) {
            ::close(f);
            continue;
        }
        // A holder that keeps the file without flock() (the older UUCP way,
        // ser2net's and minicom's).
        const long pid = PidIn(ReadHead(f));
        if (Holding(pid, rdev)) {
            ::close(f);
            *holder = ProcessText(pid);
            return Taken::Refused;
        }
        const QByteArray text = Contents();
        if (::ftruncate(f, 0) != 0 || ::pwrite(f, text.constData(), size_t(text.size()), 0) < 0) {
            ::close(f);
            return Taken::NoFile;
        }
        *fd = f;
        return Taken::Yes;
    }
    return Taken::NoFile;
}

} // namespace

bool Lock::Acquire(const QString &device, QString *holder) {
    Release();
    const QString canonical = QFileInfo(device).canonicalFilePath();
    struct stat st {};
    if (canonical.isEmpty() || ::stat(QFile::encodeName(canonical).constData(), &st) != 0)
        return true;
    const dev_t rdev = S_ISCHR(st.st_mode) ? st.st_rdev : 0;
    // Under every name the device is known by, in each program's naming,
    // as each names its lock after the name it was given (ser2net a by-id
    // link, minicom the node): whichever name another program used, its
    // lock is seen, and ours is seen by it.
    if (const QString folder = WritableFolder(); !folder.isEmpty()) {
        for (const QString &name : FileNames(device)) {
            const QString file = folder + QLatin1Char('/') + name;
            int fd = -1;
            switch (TakeFile(file, rdev, &fd, holder)) {
            case Taken::Yes:
                files.append({fd, file});
                break;
            case Taken::Refused:
                Release();
                return false;
            case Taken::NoFile:
                break;
            }
        }
    }
    // A program that opened it without any lock file (ser2net with -u, a
    // script's stty and cat).
    if (const QString user = OpenedBy(canonical); !user.isEmpty()) {
        *holder = user;
        Release();
        return false;
    }
    return true;
}

void Lock::Release() {
    // Removed while still locked, so nobody takes over a file on its way out.
    for (const File &f : std::as_const(files)) {
        ::unlink(QFile::encodeName(f.path).constData());
        ::close(f.fd);
    }
    files.clear();
}

} // namespace PortLock
