// SPDX-License-Identifier: GPL-3.0-or-later
// Pseudo-terminal master handling for the simulator.
#include "PtyPort.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {
constexpr qint64 kNanosPerByte = 1000000000LL / 960; // 10 bits a byte at 9600 baud
}

PtyPort::PtyPort(QObject *parent) : QObject(parent) {
    m_listenerPoll.setInterval(20);
    connect(&m_listenerPoll, &QTimer::timeout, this, &PtyPort::checkListener);
    m_paceTimer.setInterval(1);
    m_paceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_paceTimer, &QTimer::timeout, this, &PtyPort::flush);
}

PtyPort::~PtyPort() {
    unplug();
}

bool PtyPort::open(QString *error) {
    unplug();
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    auto fail = [&](const char *what) {
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                              QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    };
    if (fd < 0)
        return fail("posix_openpt");
    if (grantpt(fd) != 0 || unlockpt(fd) != 0)
        return fail("grantpt/unlockpt");
    const char *name = ptsname(fd);
    if (!name)
        return fail("ptsname");
    const QString path = QString::fromLocal8Bit(name);

    // Set the line once through the slave; the settings stay with the
    // terminal after this descriptor is closed. Closing it also puts the
    // master into its "nobody listening" state until the panel opens it.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0)
        return fail("open slave");
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(slave, TCSANOW, &tio);
    }
    ::close(slave);

    m_master = fd;
    m_path = path;
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyPort::readMaster);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyPort::flush);
    m_listener = false;
    m_listenerPoll.start();
    checkListener();
    return true;
}

void PtyPort::unplug() {
    if (m_master < 0)
        return;
    m_listenerPoll.stop();
    m_paceTimer.stop();
    // An unplug may come from inside the read notifier's own handler.
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    ::close(m_master);
    m_master = -1;
    m_out.clear();
    setListener(false);
}

void PtyPort::setListener(bool present) {
    if (m_listener == present)
        return;
    m_listener = present;
    if (!present)
        m_out.clear();
    Q_EMIT listenerChanged(present);
}

void PtyPort::checkListener() {
    if (m_master < 0)
        return;
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0)
        return;
    if (p.revents & POLLHUP) {
        // The panel may have opened the device, written and closed it again
        // between two checks: what it wrote is still queued, read it.
        if (p.revents & POLLIN)
            drainAfterHangUp();
        return;
    }
    m_listenerPoll.stop();
    m_readNotifier->setEnabled(true);
    setListener(true);
}

void PtyPort::drainAfterHangUp() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            Q_EMIT received(QByteArray(buffer, static_cast<int>(n)));
            if (m_master < 0)
                return;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return; // EIO or EAGAIN: nothing more queued
    }
}

void PtyPort::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            Q_EMIT received(QByteArray(buffer, static_cast<int>(n)));
            if (m_master < 0) // a receiver unplugged us
                return;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        // EIO: the panel closed the device. Wait for it to come back.
        m_readNotifier->setEnabled(false);
        m_writeNotifier->setEnabled(false);
        m_paceTimer.stop();
        setListener(false);
        m_listenerPoll.start();
        return;
    }
}

bool PtyPort::write(const QByteArray &bytes) {
    if (m_master < 0)
        return false;
    if (!m_listener) // the panel may have opened it since the last poll
        checkListener();
    if (!m_listener)
        return false;
    if (m_out.isEmpty() && m_paced) {
        m_paceClock.start();
        m_pacedBytes = 0;
    }
    m_out.append(bytes);
    if (m_paced)
        m_paceTimer.start();
    flush();
    return true;
}

void PtyPort::flush() {
    if (m_master < 0 || m_out.isEmpty()) {
        m_paceTimer.stop();
        if (m_writeNotifier)
            m_writeNotifier->setEnabled(false);
        return;
    }
    qint64 allowed = m_out.size();
    if (m_paced) {
        allowed = m_paceClock.nsecsElapsed() / kNanosPerByte + 1 - m_pacedBytes;
        allowed = std::min<qint64>(allowed, m_out.size());
        if (allowed <= 0)
            return;
    }
    const ssize_t n = ::write(m_master, m_out.constData(), static_cast<size_t>(allowed));
    if (n > 0) {
        m_out.remove(0, static_cast<int>(n));
        m_pacedBytes += n;
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        m_out.clear();
    }
    const bool blocked = !m_out.isEmpty() && n < allowed;
    m_writeNotifier->setEnabled(blocked && !m_paced);
    if (m_out.isEmpty())
        m_paceTimer.stop();
}

} // namespace sim
