// SPDX-License-Identifier: GPL-3.0-or-later
// Network peers for tests and benchmarks: ser2net (Debian package ser2net)
// serving a device, normally a pseudo-terminal, as a raw TCP stream on
// 127.0.0.1, and a bare listening socket the test answers itself.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// ser2net serving a pseudo-terminal as a raw TCP stream on 127.0.0.1.
struct Ser2net {
    // A TCP port on 127.0.0.1 that was free a moment ago.
    static int FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        int port = 0;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&a), len) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        if (fd >= 0)
            ::close(fd);
        return port;
    }

    QTemporaryDir dir;
    QProcess proc;
    int port = 0;
    // Its UUCP lock files in /run/lock, made when a client connects; off
    // unless a test looks for them.
    bool uucpLocks = false;
    // options: further lines of the connection's "options:" map, each "    key: value\n".
    // A port of 0 takes a free one; Restart() serves the same device on the same port.
    bool Start(const QString &device, const QString &options = QString(), int onPort = 0) {
        port = onPort > 0 ? onPort : FreePort();
        served = device;
        servedOptions = options;
        QFile config(dir.filePath(QStringLiteral("ser2net.yaml")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral("connection: &orvik\n"
                                    "  accepter: tcp,127.0.0.1,%1\n"
                                    "  connector: serialdev,%2,9600n81,local\n"
                                    "  options:\n"
                                    "    kickolduser: true\n%3")
                         .arg(port)
                         .arg(device, options)
                         .toUtf8());
        config.close();
        proc.setProcessChannelMode(QProcess::MergedChannels);
        QStringList args{QStringLiteral("-n"), QStringLiteral("-d"),
                         QStringLiteral("-c"), config.fileName(),
                         QStringLiteral("-P"), dir.filePath(QStringLiteral("ser2net.pid"))};
        if (!uucpLocks)
            args << QStringLiteral("-u");
        proc.start(QStringLiteral("/usr/sbin/ser2net"), args);
        if (!proc.waitForStarted(5000))
            return false;
        // Listening once the kernel shows the port in state LISTEN (0A).
        const QByteArray entry = QStringLiteral(":%1 00000000:0000 0A")
                                     .arg(port, 4, 16, QLatin1Char('0'))
                                     .toUpper()
                                     .toLatin1();
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000 && proc.state() == QProcess::Running) {
            QFile tcp(QStringLiteral("/proc/net/tcp"));
            if (tcp.open(QIODevice::ReadOnly) && tcp.readAll().contains(entry))
                return true;
            QThread::msleep(20);
        }
        return false;
    }
    ~Ser2net() { Stop(); }
    void Stop() {
        if (proc.state() == QProcess::NotRunning)
            return;
        proc.terminate();
        proc.waitForFinished(5000);
    }
    bool Restart() {
        Stop();
        return Start(served, servedOptions, port);
    }
    QString Name() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port); }
    QString served;
    QString servedOptions;
};

// Entries of a folder such as /proc/self/fd (open descriptors) or
// /proc/self/task (threads).
inline int CountEntries(const char *dir) {
    return QDir(QString::fromLatin1(dir))
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
        .size();
}

// A listening TCP socket on 127.0.0.1 that the test accepts on itself.
// With backlog 0 and one connection waiting, further connects get no answer.
struct TcpListener {
    int fd = -1;
    int port = 0;
    explicit TcpListener(int backlog = 8) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&a), len) != 0 ||
            ::listen(fd, backlog) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return;
        port = ntohs(a.sin_port);
    }
    ~TcpListener() {
        if (fd >= 0)
            ::close(fd);
    }
    Q_DISABLE_COPY_MOVE(TcpListener)
    int Accept(int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) == 1 ? ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    }
    QString Name(const char *host = "127.0.0.1") const {
        return QStringLiteral("tcp://%1:%2").arg(QLatin1String(host)).arg(port);
    }
};
