// SPDX-License-Identifier: GPL-3.0-or-later
// Linux implementation of the serial platform operations (termios, ioctl, sysfs).
#include "serial/PosixSerial.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

namespace PosixSerial {

namespace {

speed_t StandardSpeed(int rate) {
    switch (rate) {
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return B0;
    }
}

tcflag_t DataBitsFlag(int bits) {
    switch (bits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

QByteArray Encoded(const QString &path) {
    return QFile::encodeName(path);
}

} // namespace

OpenResult OpenDevice(const QString &path) {
    OpenResult result;
    const QByteArray name = Encoded(path);
    if (name.isEmpty()) {
        result.error = ENOENT;
        return result;
    }
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    // A regular file or a directory is not a port, even if it carries the
    // name; neither is a character device without a line (/dev/null).
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !::isatty(fd)) {
        ::close(fd);
        result.error = ENOTTY;
        return result;
    }
    // Nobody else may open it (TIOCEXCL, ignored for root), and another
    // program that locks devices this way finds it taken (flock, root too).
    ::ioctl(fd, TIOCEXCL);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        result.error = EBUSY;
        return result;
    }
    result.fd = fd;
    return result;
}

bool ApplyLineConfig(int fd, const LineConfig &config) {
    if (config.baudRate <= 0)
        return false;
    struct termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    tio.c_cflag |= DataBitsFlag(config.dataBits);
    // With 5 data bits a UART sends 1.5 stop bits when two are requested.
    if (config.stopBits != 0)
        tio.c_cflag |= CSTOPB;
    switch (config.parity) {
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    case 3:
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    tio.c_iflag &= ~(INPCK | IGNPAR | PARMRK | IXON | IXOFF | IXANY);
    if (config.parityCheck)
        tio.c_iflag |= INPCK;
    if (config.rtsCtsHandshake)
        tio.c_cflag |= CRTSCTS;
    if (config.xonXoff) {
        tio.c_iflag |= IXON | IXOFF;
        tio.c_cc[VSTART] = static_cast<cc_t>(config.xonChar);
        tio.c_cc[VSTOP] = static_cast<cc_t>(config.xoffChar);
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = StandardSpeed(config.baudRate);
    if (speed != B0) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
    }
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return false;
    if (speed == B0 && !SetCustomBaud(fd, config.baudRate))
        return false;
    // Modem control lines: a pseudo-terminal has none, so failures are ignored.
    int dtr = TIOCM_DTR;
    ::ioctl(fd, config.dtrOn ? TIOCMBIS : TIOCMBIC, &dtr);
    if (!config.rtsCtsHandshake) {
        int rts = TIOCM_RTS;
        ::ioctl(fd, config.rtsOn ? TIOCMBIS : TIOCMBIC, &rts);
    }
    return true;
}

void PurgeInput(int fd) {
    ::tcflush(fd, TCIFLUSH);
}

int QueuedInput(int fd) {
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) != 0)
        return -1;
    return n;
}

QByteArray Read(int fd, int n, ReadStatus *status) {
    QByteArray buffer(std::max(n, 0) + 1, '\0');
    *status = ReadStatus::Ok;
    ssize_t r;
    do {
        r = ::read(fd, buffer.data(), static_cast<size_t>(std::max(n, 0)));
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            *status = ReadStatus::Error;
        r = 0;
    }
    buffer.truncate(static_cast<int>(r));
    return buffer;
}

long Write(int fd, const QByteArray &data, long long timeoutMs, bool socket) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    long written = 0;
    while (written < data.size()) {
        const char *from = data.constData() + written;
        const auto count = static_cast<size_t>(data.size() - written);
        const ssize_t w = socket ? ::send(fd, from, count, MSG_NOSIGNAL) : ::write(fd, from, count);
        if (w > 0) {
            written += w;
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return written > 0 ? written : -1;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        struct pollfd p {
            fd, POLLOUT, 0
        };
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (rc > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return written > 0 ? written : (errno = EIO, -1);
    }
    return written;
}

std::uint8_t ModemLines(int fd) {
    int bits = 0;
    if (::ioctl(fd, TIOCMGET, &bits) != 0)
        return 0;
    std::uint8_t set = 0;
    if (bits & TIOCM_CTS)
        set |= 1u << 0;
    if (bits & TIOCM_DSR)
        set |= 1u << 1;
    if (bits & TIOCM_RNG)
        set |= 1u << 2;
    if (bits & TIOCM_CAR)
        set |= 1u << 3;
    return set;
}

bool HungUp(int fd) {
    struct pollfd p {
        fd, POLLIN, 0
    };
    if (::poll(&p, 1, 0) < 0)
        return false;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void CloseDevice(int fd) {
    if (fd < 0)
        return;
    // A pseudo-terminal outlives our close while its other end is open; its
    // exclusive mark would keep everyone but root out, ourselves included.
    if (::isatty(fd))
        ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool IsCharacterDevice(const QString &path) {
    const QByteArray name = Encoded(path);
    struct stat st {};
    return !name.isEmpty() && ::stat(name.constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

QString ErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void SetThreadNice(long threadId, int nice) {
    if (threadId > 0)
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice);
}

long CurrentThreadId() {
    return static_cast<long>(::syscall(SYS_gettid));
}

namespace {

// A ttyS node exists for every possible 8250 slot; only those with a detected
// UART (type other than 0, "unknown") are real ports.
bool HasRealUart(const QString &sysEntry) {
    QFile type(sysEntry + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const int value = type.readAll().trimmed().toInt(&ok);
    return ok && value != 0;
}

} // namespace

QStringList ListSerialDevices(const QString &sysClassTty, const QString &devDir) {
    QStringList result;
    const QDir sys(sysClassTty);
    if (!sys.exists())
        return result;
    const QStringList names =
        sys.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::NoSort);
    for (const QString &name : names) {
        // Only a tty bound to a driver has a device link; virtual consoles,
        // ptmx and the like have none.
        const QString entry = sys.filePath(name);
        if (!QFileInfo::exists(entry + QStringLiteral("/device")))
            continue;
        if (name.startsWith(QLatin1String("ttyS")) && name.size() > 4 && name.at(4).isDigit() &&
            !HasRealUart(entry))
            continue;
        const QString node = devDir + QLatin1Char('/') + name;
        if (QFileInfo::exists(node))
            result.append(node);
    }
    std::sort(result.begin(), result.end(), NaturalLess);
    return result;
}

QList<ByIdLink> ListByIdLinks(const QString &devDir) {
    QList<ByIdLink> result;
    const QDir byId(devDir + QStringLiteral("/serial/by-id"));
    if (!byId.exists())
        return result;
    QStringList links = byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    std::sort(links.begin(), links.end(), NaturalLess);
    for (const QString &link : links) {
        const QFileInfo info(byId.filePath(link));
        if (!info.isSymLink())
            continue;
        const QString target = QFileInfo(info.symLinkTarget()).fileName();
        if (target.isEmpty() || !QFileInfo::exists(info.absoluteFilePath()))
            continue;
        result.append({byId.filePath(link), target, ProductFromById(link)});
    }
    return result;
}

QString ProductFromById(const QString &linkName) {
    // udev names the link BUS-SERIAL-ifNN[-portN], SERIAL being vendor, model
    // and serial number joined by underscores.
    QString s = linkName;
    const int bus = s.indexOf(QLatin1Char('-'));
    if (bus > 0)
        s = s.mid(bus + 1);
    static const QRegularExpression suffix(QStringLiteral("-if[0-9A-Fa-f]+(-port[0-9]+)?$"));
    s.remove(suffix);
    s.replace(QLatin1Char('_'), QLatin1Char(' '));
    return s.simplified();
}

bool NaturalLess(const QString &a, const QString &b) {
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            int ei = i;
            int ej = j;
            while (ei < a.size() && a.at(ei).isDigit())
                ++ei;
            while (ej < b.size() && b.at(ej).isDigit())
                ++ej;
            // Compare digit runs by value: drop leading zeros, then length, then text.
            QStringView da = QStringView(a).mid(i, ei - i);
            QStringView db = QStringView(b).mid(j, ej - j);
            while (da.size() > 1 && da.front() == QLatin1Char('0'))
                da = da.mid(1);
            while (db.size() > 1 && db.front() == QLatin1Char('0'))
                db = db.mid(1);
            if (da.size() != db.size())
                return da.size() < db.size();
            const int c = da.compare(db);
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;
}

} // namespace PosixSerial
