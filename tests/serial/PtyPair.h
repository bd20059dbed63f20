// A pseudo-terminal pair for tests: the component opens the slave path, the
// test plays the device on the master side.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master));
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool Ok() const { return master >= 0 && !slave.isEmpty(); }
    const QString &Slave() const { return slave; }

    bool Write(const QByteArray &data) {
        return ::write(master, data.constData(), size_t(data.size())) == data.size();
    }
    // Reads what the component wrote until `count` bytes arrived or timeoutMs passed.
    QByteArray Read(int count, int timeoutMs = 2000) {
        QByteArray result;
        QElapsedTimer clock;
        clock.start();
        while (result.size() < count && clock.elapsed() < timeoutMs) {
            struct pollfd p {
                master, POLLIN, 0
            };
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buffer[256];
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0)
                    result.append(buffer, int(n));
            }
        }
        return result;
    }
    void CloseMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

private:
    int master = -1;
    QString slave;
};
