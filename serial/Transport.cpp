// SPDX-License-Identifier: GPL-3.0-or-later
// The terminal and TCP transports behind the serial port component.
#include "serial/Transport.h"

#include "serial/PortLock.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Transport {

namespace {

const QLatin1String kScheme("tcp://");

class TerminalLink : public Link {
public:
    // The lock file first, so that the device of another program is not
    // even opened (an open can raise DTR); then the device's own claims.
    Opened Open(const QString &Name) override {
        Opened o;
        QString holder;
        if (!lock.Acquire(Name, &holder)) {
            o.error = EBUSY;
            o.reason = QStringLiteral("In use by ") + holder;
            return o;
        }
        const PosixSerial::OpenResult r = PosixSerial::OpenDevice(Name);
        o.fd = r.fd;
        o.error = r.error;
        if (r.fd < 0) {
            lock.Release();
            holder = r.error == EBUSY ? PortLock::DeviceHolder(Name) : QString();
            o.reason = holder.isEmpty() ? PosixSerial::ErrorText(r.error)
                                        : QStringLiteral("In use by ") + holder;
        }
        return o;
    }
    void Close(int fd) override {
        PosixSerial::CloseDevice(fd);
        lock.Release();
    }
    QString FailureMessage(const QString &Name, const Opened &Failure) const override {
        return QStringLiteral("Cannot connect to %1. %2").arg(Name, Failure.reason);
    }
    bool Configure(int fd, const PosixSerial::LineConfig &Config) override {
        return PosixSerial::ApplyLineConfig(fd, Config);
    }
    void PurgeInput(int fd) override { PosixSerial::PurgeInput(fd); }
    std::uint8_t ModemLines(int fd) override { return PosixSerial::ModemLines(fd); }
    long Write(int fd, const QByteArray &Data, long long TimeoutMs) override {
        return PosixSerial::Write(fd, Data, TimeoutMs);
    }
    bool HungUp(int fd) override { return PosixSerial::HungUp(fd); }
    bool ListedBySystem() const override { return true; }

private:
    PortLock::Lock lock;
};

using Clock = std::chrono::steady_clock;

std::atomic<bool> OpensAbandoned{false};

int MsLeft(Clock::time_point deadline) {
    if (OpensAbandoned.load(std::memory_order_relaxed))
        return 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Slice of a wait on the application's thread between two rounds of its
// events: the window keeps drawing itself and its timers keep running while
// a network port connects.
constexpr int kResponsiveSliceMs = 20;

// Whether a wait here would hold up the application's event loop.
bool OnEventThread() {
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Lets the event loop run once. Input and sockets wait, so nothing the
// operator or a network client does can reach the component while it opens.
void RunPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::ExcludeSocketNotifiers);
}

// The wait of poll() up to the deadline, in slices on the event thread.
int PollUntil(pollfd *p, Clock::time_point deadline) {
    const bool responsive = OnEventThread();
    for (;;) {
        const int left = MsLeft(deadline);
        const int n = ::poll(p, 1, responsive ? std::min(left, kResponsiveSliceMs) : left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 0 || left == 0)
            return n;
        RunPendingEvents();
    }
}

// Looks the host up within the time left. An address in numbers needs no
// lookup; a name is looked up asynchronously, so that a resolver that does
// not answer cannot hold the window past the limit.
int Resolve(const TcpAddress &a, Clock::time_point deadline, addrinfo **result) {
    addrinfo numeric{};
    numeric.ai_family = AF_UNSPEC;
    numeric.ai_socktype = SOCK_STREAM;
    numeric.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    const int direct = ::getaddrinfo(a.host.toUtf8().constData(),
                                     QByteArray::number(a.port).constData(), &numeric, result);
    if (direct != EAI_NONAME)
        return direct;
    struct Request {
        QByteArray host;
        QByteArray service;
        addrinfo hints{};
        gaicb cb{};
    };
    auto *req = new Request;
    req->host = a.host.toUtf8();
    req->service = QByteArray::number(a.port);
    req->hints.ai_family = AF_UNSPEC;
    req->hints.ai_socktype = SOCK_STREAM;
    req->hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    req->cb.ar_name = req->host.constData();
    req->cb.ar_service = req->service.constData();
    req->cb.ar_request = &req->hints;
    gaicb *list[1] = {&req->cb};
    int rc = ::getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr);
    if (rc != 0) {
        delete req;
        return rc;
    }
    const bool responsive = OnEventThread();
    for (;;) {
        const int left = MsLeft(deadline);
        const int wait = responsive ? std::min(left, kResponsiveSliceMs) : left;
        timespec ts{wait / 1000, long(wait % 1000) * 1000000L};
        const int s = ::gai_suspend(list, 1, &ts);
        rc = ::gai_error(&req->cb);
        if (rc != EAI_INPROGRESS)
            break;
        if (responsive && left > 0) {
            RunPendingEvents();
            continue;
        }
        if (s == EAI_AGAIN || left == 0) {
            if (::gai_cancel(&req->cb) == EAI_NOTCANCELED)
                // The resolver still owns the request and finishes it later;
                // the few bytes are left to it rather than freed under it.
                return EAI_AGAIN;
            rc = EAI_AGAIN;
            break;
        }
    }
    *result = rc == 0 ? req->cb.ar_result : nullptr;
    delete req;
    return rc;
}

class TcpLink : public Link {
public:
    Opened Open(const QString &Name) override {
        Opened o;
        TcpAddress a;
        if (!ParseTcpName(Name, &a, &o.reason)) {
            o.error = EINVAL;
            return o;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(TcpConnectLimitMs);
        addrinfo *list = nullptr;
        const int rc = Resolve(a, deadline, &list);
        if (rc != 0) {
            o.error = rc == EAI_AGAIN ? ETIMEDOUT : EHOSTUNREACH;
            o.reason = rc == EAI_AGAIN ? QStringLiteral("host name lookup timed out")
                                       : QStringLiteral("unknown host (%1)")
                                             .arg(QString::fromLocal8Bit(::gai_strerror(rc)));
            return o;
        }
        int lastError = ETIMEDOUT;
        for (addrinfo *ai = list; ai && o.fd < 0; ai = ai->ai_next) {
            const int fd =
                ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                lastError = errno;
                continue;
            }
            int err = 0;
            if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
                err = errno;
                if (err == EINPROGRESS) {
                    pollfd p{fd, POLLOUT, 0};
                    const int n = PollUntil(&p, deadline);
                    err = ETIMEDOUT;
                    socklen_t len = sizeof err;
                    if (n > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                        err = errno;
                }
            }
            if (err == 0) {
                const int on = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
                o.fd = fd;
            } else {
                ::close(fd);
                lastError = err;
                if (MsLeft(deadline) == 0)
                    break;
            }
        }
        ::freeaddrinfo(list);
        if (o.fd < 0) {
            o.error = lastError;
            o.reason = lastError == ETIMEDOUT
                           ? QStringLiteral("no answer within %1 s").arg(TcpConnectLimitMs / 1000)
                           : PosixSerial::ErrorText(lastError);
        }
        return o;
    }
    QString FailureMessage(const QString &Name, const Opened &Failure) const override {
        return QStringLiteral("Cannot connect to %1: %2").arg(Name.trimmed(), Failure.reason);
    }
    bool Configure(int, const PosixSerial::LineConfig &) override { return true; }
    void PurgeInput(int) override {}
    std::uint8_t ModemLines(int) override { return 0; }
    long Write(int fd, const QByteArray &Data, long long TimeoutMs) override {
        return PosixSerial::Write(fd, Data, TimeoutMs, true);
    }
    bool HungUp(int fd) override {
        // Bytes sent before the peer closed are read first.
        if (PosixSerial::QueuedInput(fd) > 0)
            return false;
        pollfd p{fd, POLLIN | POLLRDHUP, 0};
        if (::poll(&p, 1, 0) < 0)
            return false;
        return (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
    bool ListedBySystem() const override { return false; }
};

bool ValidHostName(const QString &host) {
    static const QRegularExpression label(
        QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?$"));
    if (host.isEmpty() || host.size() > 253)
        return false;
    const QStringList labels = host.split(QLatin1Char('.'));
    for (int i = 0; i < labels.size(); ++i) {
        // One trailing dot (a fully qualified name) is allowed.
        if (labels.at(i).isEmpty() && i == labels.size() - 1 && i > 0)
            continue;
        if (!label.match(labels.at(i)).hasMatch())
            return false;
    }
    // All digits and dots is an IPv4 address and must be a valid one.
    static const QRegularExpression numeric(QStringLiteral("^[0-9.]+$"));
    if (numeric.match(host).hasMatch()) {
        in_addr v4{};
        return ::inet_pton(AF_INET, host.toLatin1().constData(), &v4) == 1;
    }
    return true;
}

} // namespace

void AbandonOpens() {
    OpensAbandoned.store(true, std::memory_order_relaxed);
}

bool IsTcpName(const QString &Name) {
    return Name.trimmed().startsWith(kScheme, Qt::CaseInsensitive);
}

bool ParseTcpName(const QString &Name, TcpAddress *Address, QString *Reason) {
    const QString name = Name.trimmed();
    const auto fail = [&](const QString &why) {
        if (Reason)
            *Reason = why;
        return false;
    };
    if (!name.startsWith(kScheme, Qt::CaseInsensitive))
        return fail(QStringLiteral("not a network port name (tcp://HOST:PORT)"));
    const QString rest = name.mid(kScheme.size());
    QString host;
    QString port;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return fail(QStringLiteral("malformed address, expected tcp://[IPv6]:PORT"));
        host = rest.mid(1, close - 1);
        port = rest.mid(close + 2);
        in6_addr v6{};
        if (::inet_pton(AF_INET6, host.toLatin1().constData(), &v6) != 1 ||
            host.contains(QLatin1Char('%')) || host.toLatin1() != host.toUtf8())
            return fail(QStringLiteral("invalid IPv6 address \"%1\"").arg(host));
    } else {
        const int colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return fail(QStringLiteral("no port, expected tcp://HOST:PORT"));
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        if (host.contains(QLatin1Char(':')))
            return fail(QStringLiteral("an IPv6 address needs brackets: tcp://[ADDRESS]:PORT"));
        if (!ValidHostName(host))
            return fail(QStringLiteral("invalid host \"%1\"").arg(host));
    }
    bool digits = !port.isEmpty() && port.size() <= 5;
    for (const QChar c : port)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int value = digits ? port.toInt() : 0;
    if (value < 1 || value > 65535)
        return fail(QStringLiteral("invalid TCP port \"%1\" (1 to 65535)").arg(port));
    if (Address) {
        Address->host = host;
        Address->port = value;
    }
    return true;
}

std::unique_ptr<Link> For(const QString &Name) {
    if (IsTcpName(Name))
        return std::make_unique<TcpLink>();
    return std::make_unique<TerminalLink>();
}

} // namespace Transport
