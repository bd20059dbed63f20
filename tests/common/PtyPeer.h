// SPDX-License-Identifier: GPL-3.0-or-later
// The far end of a pseudo-terminal for tests: the panel opens the slave
// device by its path, the test reads and writes the master side.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class PtyPeer {
public:
    PtyPeer() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return;
        path = QString::fromLocal8Bit(::ptsname(master));
        // Raw on the slave side too, so bytes pass unchanged both ways.
        const int slave = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        if (slave >= 0) {
            termios t{};
            ::tcgetattr(slave, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
            ::close(slave);
        }
    }
    ~PtyPeer() { closeMaster(); }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool ok() const { return master >= 0 && !path.isEmpty(); }
    QString devicePath() const { return path; }

    void write(const QByteArray &bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                return;
            done += n;
        }
    }

    // Everything readable within timeoutMs (stops early once quietMs pass
    // without new bytes after something arrived).
    QByteArray read(int timeoutMs = 300, int quietMs = 60) {
        // The program's timers (the start-up burst's pauses) run meanwhile.
        QByteArray out;
        QElapsedTimer t, quiet;
        t.start();
        while (t.elapsed() < timeoutMs && !(!out.isEmpty() && quiet.elapsed() >= quietMs)) {
            QCoreApplication::processEvents();
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0 || !(p.revents & POLLIN))
                continue;
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, n);
            quiet.start();
        }
        return out;
    }

    // Unplugs the device: the panel's reads fail from now on.
    void closeMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

private:
    int master = -1;
    QString path;
};
