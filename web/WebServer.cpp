// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebServer.h"

#include "config/OwnerOnlyFile.h"
#include "history/HistoryReader.h"
#include "link/AmpLink.h"
#include "link/Facts.h"
#include "remote/RemoteRules.h"
#include "web/StatusJson.h"
#include "web/UsersFile.h"
#include "web/WebSocketFrames.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QPointer>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>

// The page is a resource of this static library: registered by hand.
static void RegisterPage() {
    Q_INIT_RESOURCE(page);
}

namespace web {

namespace {

const QByteArray CookieName = "orvik_session";
const QByteArray TokenHeader = "x-orvik-token";

QByteArray Json(const QJsonObject &o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray ErrorBody(const QString &text) {
    return Json(QJsonObject{{QStringLiteral("error"), text}});
}

QByteArray StatusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 426:
        return "Upgrade Required";
    case 431:
        return "Request Header Fields Too Large";
    }
    return "Error";
}

// Why a request that was not read is refused, and its status.
QString Refusal(ParseResult parsed, int *status) {
    switch (parsed) {
    case ParseResult::HeadTooLarge:
        *status = 431;
        return QStringLiteral("the request's head is too large");
    case ParseResult::TooManyHeaders:
        *status = 431;
        return QStringLiteral("too many header fields");
    case ParseResult::BodyTooLarge:
        *status = 413;
        return QStringLiteral("the request's body is too large");
    case ParseResult::Incomplete:
    case ParseResult::Done:
    case ParseResult::Bad:
        break;
    }
    *status = 400;
    return QStringLiteral("not a request this server reads");
}

// What a connection has not sent yet: over TLS also what waits encrypted,
// which bytesToWrite() leaves out.
qint64 Unsent(const QTcpSocket *socket) {
    const auto *ssl = qobject_cast<const QSslSocket *>(socket);
    return socket->bytesToWrite() + (ssl ? ssl->encryptedBytesToWrite() : 0);
}

double WallMs() {
    using namespace std::chrono;
    return double(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()) /
           1000.0;
}

} // namespace

// Accepts with QTcpServer's listening code; the server decides on each
// descriptor before a socket object exists.
class WebServer::Listener : public QTcpServer {
public:
    explicit Listener(WebServer *owner) : QTcpServer(owner), owner_(owner) {}

protected:
    void incomingConnection(qintptr fd) override { owner_->OnConnection(fd); }

private:
    WebServer *owner_;
};

WebServer::WebServer(AmpLink *link, QObject *parent) : QObject(parent), link_(link) {
    RegisterPage();
    elapsed_.start();
    connect(&sweep_, &QTimer::timeout, this, &WebServer::Sweep);
    sweep_.setInterval(1000);
    connect(link_, &AmpLink::StateChanged, this,
            [this](const AmpStatus &s, unsigned) { OnStateChanged(s); });
    connect(link_, &AmpLink::Event, this, &WebServer::OnEvent);
}

WebServer::~WebServer() {
    Stop();
}

qint64 WebServer::Now() const {
    return clock_ ? clock_() : elapsed_.elapsed();
}

void WebServer::SetIdleMs(qint64 ms) {
    idleMs_ = ms;
    sweep_.setInterval(int(std::clamp<qint64>(ms / 2, 10, 1000)));
}

QString WebServer::LoadTls(const WebConfig &config) {
    if (!QSslSocket::supportsSsl())
        return QStringLiteral("[Web] Certificate=: this Qt has no TLS backend");
    QFile c(config.certificate);
    if (!c.open(QIODevice::ReadOnly))
        return QStringLiteral("[Web] Certificate=: cannot read %1").arg(config.certificate);
    // The key as the users file: its owner's alone, never a FIFO.
    QByteArray key;
    if (const QString why =
            ReadOwnerOnly(config.key, QStringLiteral("the key file"), 64 * 1024, &key);
        !why.isEmpty())
        return QStringLiteral("[Web] Key=: ") + why;
    certificate_ = QSslCertificate(&c, QSsl::Pem);
    key_ = QSslKey(key, QSsl::Rsa, QSsl::Pem);
    if (key_.isNull())
        key_ = QSslKey(key, QSsl::Ec, QSsl::Pem);
    if (certificate_.isNull())
        return QStringLiteral("[Web] Certificate=: %1 holds no PEM certificate")
            .arg(config.certificate);
    if (key_.isNull())
        return QStringLiteral("[Web] Key=: %1 holds no PEM RSA or EC key").arg(config.key);
    tlsConfig_ = QSslConfiguration::defaultConfiguration();
    tlsConfig_.setLocalCertificate(certificate_);
    tlsConfig_.setPrivateKey(key_);
    tlsConfig_.setPeerVerifyMode(QSslSocket::VerifyNone);
    tlsConfig_.setProtocol(QSsl::TlsV1_2OrLater);
    QList<QSslCipher> ciphers;
    for (const QSslCipher &cipher : QSslConfiguration::supportedCiphers())
        if (StrongCipher(cipher.name()))
            ciphers.append(cipher);
    tlsConfig_.setCiphers(ciphers);
    return QString();
}

QString WebServer::Start(const WebConfig &config) {
    Stop();
    config_ = config;
    if (config.listen.trimmed().isEmpty())
        return QString();
    remote::ListenAddress where;
    if (const QString error = remote::ParseListen(config.listen, &where); !error.isEmpty())
        return QStringLiteral("[Web] Listen: ") + error;
    if (config.certificate.isEmpty() != config.key.isEmpty())
        return QStringLiteral("[Web] Certificate= and Key= go together");
    tls_ = !config.certificate.isEmpty();
    if (!tls_ && !where.host.isLoopback())
        return QStringLiteral("[Web] Listen=%1 is not a loopback address; without TLS the page "
                              "is served on loopback only: set [Web] Certificate= and Key=")
            .arg(config.listen.trimmed());
    if (tls_)
        if (const QString error = LoadTls(config); !error.isEmpty())
            return error;
    if (config.usersFile.isEmpty())
        return QStringLiteral("[Web] Listen is set but [Web] UsersFile= is not; create the users "
                              "file with orvik-control --web-passwd FILE USER [ROLE]");
    if (const QString error = ParseProxies(config.trustedProxy, &proxies_); !error.isEmpty())
        return QStringLiteral("[Web] TrustedProxy=: ") + error;
    users_.clear();
    if (const QString error = ReadUsersFile(config.usersFile, &users_, &usersStamp_);
        !error.isEmpty())
        return QStringLiteral("[Web] UsersFile: ") + error;
    if (users_.isEmpty())
        return QStringLiteral("[Web] UsersFile: the users file %1 has no user; add one with "
                              "orvik-control --web-passwd %1 USER operator")
            .arg(config.usersFile);
    // Watched, and its stamp looked at each second and at each log-in: a
    // watch can miss a file replaced by another.
    delete usersWatcher_;
    usersWatcher_ = new QFileSystemWatcher(this);
    usersWatcher_->addPath(config.usersFile);
    usersWatcher_->addPath(QFileInfo(config.usersFile).absolutePath());
    connect(usersWatcher_, &QFileSystemWatcher::fileChanged, this, &WebServer::ReloadUsers);
    connect(usersWatcher_, &QFileSystemWatcher::directoryChanged, this, &WebServer::ReloadUsers);
    if (!listener_) {
        listener_ = new Listener(this);
        // Connections beyond the limits are refused by the server, with a
        // log line, rather than left waiting in the kernel's queue.
        listener_->setListenBacklogSize(MaxConnections);
    }
    if (!listener_->listen(where.host, where.port))
        return QStringLiteral("cannot listen on %1: %2")
            .arg(config.listen.trimmed(), listener_->errorString());
    sweep_.start();
    hosts_ = AllowedHosts();
    Q_EMIT Logged(QStringLiteral("listening on %1://%2:%3/, %4 users")
                      .arg(tls_ ? QStringLiteral("https") : QStringLiteral("http"),
                           listener_->serverAddress().toString())
                      .arg(listener_->serverPort())
                      .arg(users_.size()));
    return QString();
}

void WebServer::Stop() {
    const auto lives = lives_.keys();
    for (QTcpSocket *s : lives)
        EndLive(s, QString());
    const auto sockets = conns_.keys();
    for (QTcpSocket *s : sockets)
        Drop(s, QString());
    sweep_.stop();
    if (listener_ && listener_->isListening()) {
        listener_->close();
        Q_EMIT Logged(QStringLiteral("stopped listening"));
    }
}

bool WebServer::IsListening() const {
    return listener_ && listener_->isListening();
}

quint16 WebServer::Port() const {
    return listener_ ? listener_->serverPort() : 0;
}

int WebServer::ConnectionCount() const {
    return int(conns_.size() + lives_.size());
}

int WebServer::FromAddress(const QHostAddress &peer) const {
    const QString key = ClientKey(peer);
    int n = 0;
    for (const Conn &c : conns_)
        n += ClientKey(c.peer) == key ? 1 : 0;
    for (const Live &l : lives_)
        n += ClientKey(l.peer) == key ? 1 : 0;
    return n;
}

bool WebServer::FromProxy(const QHostAddress &peer) const {
    return std::any_of(proxies_.cbegin(), proxies_.cend(),
                       [&peer](const auto &network) { return peer.isInSubnet(network); });
}

void WebServer::LogRefusal(const QHostAddress &peer, const QString &why) {
    constexpr qint64 MinuteMs = 60000;
    const qint64 now = Now();
    // Addresses quiet for a minute are forgotten, so that the table stays small.
    if (refused_.size() > 256)
        refused_.removeIf(
            [now](const auto &entry) { return now - entry.value().loggedAt >= MinuteMs; });
    const QString key = peer.toString();
    const auto it = refused_.find(key);
    if (it != refused_.end() && now - it->loggedAt < MinuteMs) {
        ++it->unlogged;
        return;
    }
    const int more = it != refused_.end() ? it->unlogged : 0;
    refused_.insert(key, Refused{now, 0});
    Q_EMIT Logged(more ? QStringLiteral("refused %1: %2 (and %3 more from it since its last line)")
                             .arg(key, why)
                             .arg(more)
                       : QStringLiteral("refused %1: %2").arg(key, why));
}

QSet<QByteArray> WebServer::AllowedHosts() const {
    QSet<QByteArray> hosts;
    auto add = [&hosts](const QString &name, int port, int defaultPort) {
        const QByteArray n = name.toLower().toUtf8();
        hosts.insert(n + ':' + QByteArray::number(port));
        if (port == defaultPort)
            hosts.insert(n);
    };
    const int port = listener_->serverPort(), defaultPort = tls_ ? 443 : 80;
    const QHostAddress listen = listener_->serverAddress();
    const bool any = listen == QHostAddress::Any || listen == QHostAddress::AnyIPv4 ||
                     listen == QHostAddress::AnyIPv6;
    QList<QHostAddress> addresses{listen};
    if (any) {
        addresses = QNetworkInterface::allAddresses();
        add(QHostInfo::localHostName(), port, defaultPort);
    }
    for (const QHostAddress &a : std::as_const(addresses)) {
        const QHostAddress u = remote::Unmapped(a);
        add(u.protocol() == QAbstractSocket::IPv6Protocol
                ? QLatin1Char('[') + u.toString() + QLatin1Char(']')
                : u.toString(),
            port, defaultPort);
    }
    if (any || listen.isLoopback())
        add(QStringLiteral("localhost"), port, defaultPort);
    if (tls_)
        for (const QString &name : certificate_.subjectAlternativeNames().values(QSsl::DnsEntry) +
                                       certificate_.subjectInfo(QSslCertificate::CommonName))
            add(name, port, defaultPort);
    const QUrl origin(config_.origin);
    if (origin.isValid() && !origin.host().isEmpty()) {
        const int originDefault = origin.scheme() == QLatin1String("https") ? 443 : 80;
        add(origin.host(), origin.port(originDefault), originDefault);
    }
    return hosts;
}

void WebServer::OnConnection(qintptr fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    QHostAddress peer;
    if (::getpeername(int(fd), reinterpret_cast<sockaddr *>(&address), &length) == 0)
        peer.setAddress(reinterpret_cast<const sockaddr *>(&address));
    peer = remote::Unmapped(peer);
    QString refusal;
    if (ConnectionCount() >= MaxConnections)
        refusal = QStringLiteral("%1 connections already").arg(MaxConnections);
    else if (proxies_.isEmpty() && !peer.isLoopback() &&
             ConnectionCount() >= MaxConnections - LoopbackShare)
        refusal =
            QStringLiteral("the last %1 connections are kept for loopback").arg(LoopbackShare);
    else if (!FromProxy(peer) && FromAddress(peer) >= MaxPerAddress)
        refusal = QStringLiteral("%1 connections from that address already").arg(MaxPerAddress);
    if (!refusal.isEmpty()) {
        ::close(int(fd));
        LogRefusal(peer, refusal);
        return;
    }
    QTcpSocket *socket = nullptr;
    if (tls_) {
        auto *ssl = new QSslSocket(this);
        ssl->setSslConfiguration(tlsConfig_);
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
    }
    if (!socket->setSocketDescriptor(fd)) {
        ::close(int(fd));
        delete socket;
        return;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setReadBufferSize(ReadBufferBytes);
    if (tls_)
        static_cast<QSslSocket *>(socket)->startServerEncryption();
    Conn c;
    c.socket = socket;
    c.peer = peer;
    c.activeAt = Now();
    conns_.insert(socket, c);
    WatchConn(socket);
}

void WebServer::WatchConn(QTcpSocket *socket) {
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadable(socket); });
    const auto written = [this, socket] {
        const auto it = conns_.find(socket);
        if (it == conns_.end())
            return;
        it->activeAt = Now();
        if (socket->bytesAvailable() > 0 && Unsent(socket) <= MaxQueuedBytes)
            OnReadable(socket);
    };
    connect(socket, &QTcpSocket::bytesWritten, this, written);
    if (tls_)
        connect(static_cast<QSslSocket *>(socket), &QSslSocket::encryptedBytesWritten, this,
                written);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket, QString()); });
}

void WebServer::Drop(QTcpSocket *socket, const QString &why) {
    const auto it = conns_.find(socket);
    if (it == conns_.end())
        return;
    const QHostAddress peer = it->peer;
    conns_.erase(it);
    Cut(socket, peer, why);
}

void WebServer::ReloadUsers() {
    const FileStamp stamp = StampOf(config_.usersFile);
    if (config_.usersFile.isEmpty() || stamp == usersStamp_)
        return;
    QList<WebUser> read;
    FileStamp readStamp;
    if (const QString why = ReadUsersFile(config_.usersFile, &read, &readStamp); !why.isEmpty()) {
        if (why != usersError_)
            Q_EMIT Logged(QStringLiteral("the users file was not read again, its users as "
                                         "before: ") +
                          why);
        usersError_ = why;
        return;
    }
    usersError_.clear();
    usersStamp_ = readStamp;
    if (usersWatcher_ && !usersWatcher_->files().contains(config_.usersFile))
        usersWatcher_->addPath(config_.usersFile); // a new file under the name
    const QList<WebUser> before = std::exchange(users_, read);
    for (const WebUser &old : before) {
        const auto now = std::find_if(users_.cbegin(), users_.cend(),
                                      [&old](const WebUser &u) { return u.name == old.name; });
        if (now == users_.cend())
            EndSessionsOf(old.name, QStringLiteral("the user was removed"));
        else if (now->hash != old.hash || now->salt != old.salt || now->role != old.role)
            EndSessionsOf(old.name, QStringLiteral("the user's password or role changed"));
    }
    Q_EMIT Logged(QStringLiteral("the users file was read again, %1 users").arg(users_.size()));
}

void WebServer::EndSessionsOf(const QString &user, const QString &why) {
    const QList<QByteArray> ended = sessions_.EndUser(user);
    const auto lives = lives_.keys();
    for (QTcpSocket *s : lives)
        if (ended.contains(lives_.value(s).session))
            EndLive(s, QString());
    if (!ended.isEmpty())
        Q_EMIT Logged(
            QStringLiteral("ended %1 sessions of %2: %3").arg(ended.size()).arg(user, why));
}

void WebServer::Sweep() {
    ReloadUsers();
    const qint64 now = Now();
    const auto sockets = conns_.keys();
    for (QTcpSocket *s : sockets) {
        const auto it = conns_.constFind(s);
        if (it == conns_.cend() || now - it->activeAt < idleMs_)
            continue;
        Drop(s, Unsent(s) > 0
                    ? QStringLiteral("it does not read its answer")
                    : QStringLiteral("no whole request for %1 s").arg(double(idleMs_) / 1000));
    }
    const auto lives = lives_.keys();
    for (QTcpSocket *s : lives) {
        const Live &l = lives_.value(s);
        QString why;
        if (Unsent(s) > 0 && now - l.progressAt >= idleMs_)
            why = QStringLiteral("the live page does not read its updates");
        else if (now - l.heardAt >= LiveSilenceMs)
            why = QStringLiteral("the live page is silent");
        else if (!sessions_.Use(l.session, now))
            why = QStringLiteral("its session ended");
        if (!why.isEmpty())
            EndLive(s, why);
    }
}

void WebServer::EndLive(QTcpSocket *socket, const QString &why) {
    const auto it = lives_.find(socket);
    if (it == lives_.end())
        return;
    const QHostAddress peer = it->peer;
    lives_.erase(it);
    Cut(socket, peer, why);
}

void WebServer::Cut(QTcpSocket *socket, const QHostAddress &peer, const QString &why) {
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (!why.isEmpty())
        Q_EMIT Logged(QStringLiteral("closed %1: %2").arg(peer.toString(), why));
}

void WebServer::CloseLive(QTcpSocket *socket, quint16 code, const QByteArray &reason) {
    const auto it = lives_.find(socket);
    if (it == lives_.end())
        return;
    Conn c;
    c.socket = socket;
    c.peer = it->peer;
    c.activeAt = Now();
    c.closing = true; // nothing more of it is read
    lives_.erase(it);
    socket->disconnect(this);
    conns_.insert(socket, c);
    WatchConn(socket);
    socket->write(ws::CloseFrame(code, reason));
    socket->disconnectFromHost();
}

void WebServer::OnReadable(QTcpSocket *socket) {
    while (conns_.contains(socket) && !conns_.value(socket).closing && !conns_.value(socket).busy) {
        // A client that sends requests faster than it reads the answers
        // waits until it has read them: what one connection holds stays small.
        if (Unsent(socket) > MaxQueuedBytes)
            return;
        const Conn c = conns_.value(socket);
        const QByteArray buffer = socket->peek(MaxHeadBytes + MaxBodyBytes + 1);
        HttpRequest request;
        int consumed = 0;
        ParseResult parsed = ParseRequest(buffer, &request, &consumed);
        if (parsed == ParseResult::Incomplete)
            return;
        // A Host that is not this server's: a page of another site whose
        // name was pointed at this address (DNS rebinding).
        const bool foreignHost = parsed == ParseResult::Done && !request.Header("host").isEmpty() &&
                                 !hosts_.contains(request.Header("host").toLower());
        if (parsed != ParseResult::Done || foreignHost) {
            Reply error;
            error.status = 400;
            const QString why = foreignHost ? QStringLiteral("not a Host of this server")
                                            : Refusal(parsed, &error.status);
            error.body = ErrorBody(why);
            error.close = true;
            LogRefusal(c.peer, QStringLiteral("a request: ") + why);
            Send(socket, error, false);
            return;
        }
        if (request.path == "/ws" && request.method == "GET") {
            Upgrade(socket, request, consumed);
            return;
        }
        socket->read(consumed);
        conns_[socket].activeAt = Now();
        // Behind a trusted proxy the client is the one it names.
        QByteArray forwarded;
        for (const auto &h : std::as_const(request.headers))
            if (h.first == "x-forwarded-for")
                forwarded += (forwarded.isEmpty() ? "" : ",") + h.second;
        Reply reply = Handle(request, RealClient(c.peer, forwarded, proxies_), socket);
        reply.head = request.method == "HEAD";
        if (reply.pending) {
            // Answered when the password check ends; nothing more is read till then.
            conns_[socket].busy = true;
            return;
        }
        Send(socket, reply, request.KeepAlive() && !reply.close);
    }
}

void WebServer::Send(QTcpSocket *socket, const Reply &reply, bool keepAlive) {
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + StatusText(reply.status) + "\r\n";
    out += "Content-Type: " + reply.type + "\r\n";
    out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += "X-Content-Type-Options: nosniff\r\n";
    out += "Referrer-Policy: no-referrer\r\n";
    out += "Cache-Control: no-store\r\n";
    if (Secure()) // browsers take it over HTTPS only: here, or through the proxy
        out += "Strict-Transport-Security: max-age=31536000\r\n";
    for (const QByteArray &h : reply.headers)
        out += h + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (!reply.head)
        out += reply.body;
    socket->write(out);
    if (!keepAlive) {
        conns_[socket].closing = true;
        // Closed once written; a client that does not read it is cut by the sweep.
        socket->disconnectFromHost();
    }
}

bool WebServer::OriginAllowed(const HttpRequest &request) const {
    const QByteArray origin = request.Header("origin");
    return SameOrigin(origin, request.Header("host"), tls_) ||
           (!config_.origin.isEmpty() && origin == config_.origin.toUtf8());
}

bool WebServer::Secure() const {
    return tls_ || config_.origin.startsWith(QLatin1String("https://"));
}

void WebServer::Upgrade(QTcpSocket *socket, const HttpRequest &request, int consumed) {
    socket->read(consumed);
    Reply refusal;
    QString why;
    const Session *session =
        sessions_.Use(CookieValue(request.Header("cookie"), CookieName), Now());
    if (!session) {
        refusal.status = 401;
        refusal.body = ErrorBody(QStringLiteral("log in first"));
    } else if (!OriginAllowed(request)) {
        refusal.status = 403;
        refusal.body = ErrorBody(QStringLiteral("the live page is for this site's own page"));
        Q_EMIT Logged(QStringLiteral("refused a live page for %1 from origin %2")
                          .arg(session->Who(), QString::fromUtf8(request.Header("origin"))));
    } else if (const int status = ws::UpgradeRefusal(request, &why); status != 0) {
        refusal.status = status;
        refusal.body = ErrorBody(why);
        if (status == 426)
            refusal.headers << "Sec-WebSocket-Version: 13";
        LogRefusal(conns_.value(socket).peer, QStringLiteral("a live page: ") + why);
    }
    if (refusal.status != 200) {
        refusal.close = true;
        Send(socket, refusal, false);
        return;
    }
    // A live page's kernel buffer stays small too: a page that stops
    // reading is then seen to stall within a few updates, not megabytes.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, LiveSendBufferBytes);
    Live live;
    live.session = session->id;
    live.peer = conns_.take(socket).peer;
    live.heardAt = live.progressAt = Now();
    lives_.insert(socket, live);
    socket->disconnect(this);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnLiveReadable(socket); });
    const auto written = [this, socket] {
        const auto it = lives_.find(socket);
        if (it == lives_.end())
            return;
        it->progressAt = Now();
        if (it->behind && Unsent(socket) < MaxQueuedBytes)
            SendStatus(socket, *it);
    };
    connect(socket, &QTcpSocket::bytesWritten, this, written);
    if (auto *ssl = qobject_cast<QSslSocket *>(socket))
        connect(ssl, &QSslSocket::encryptedBytesWritten, this, written);
    connect(socket, &QTcpSocket::disconnected, this,
            [this, socket] { EndLive(socket, QString()); });
    socket->write(ws::UpgradeAnswer(request));
    OnStateChanged(link_->State());
    SendStatus(socket, lives_[socket]);
    // Frames sent right behind the request are read now.
    if (socket->bytesAvailable() > 0)
        OnLiveReadable(socket);
}

void WebServer::OnLiveReadable(QTcpSocket *socket) {
    const auto it = lives_.find(socket);
    if (it == lives_.end())
        return;
    // Every whole frame held, read from one copy; the buffer holds more
    // than the largest frame allowed, so a frame is never stuck half read.
    const QByteArray held = socket->peek(ReadBufferBytes);
    qsizetype at = 0;
    for (;;) {
        qsizetype consumed = 0;
        const ws::Frame frame = it->reader.Read(QByteArrayView(held).sliced(at), &consumed);
        at += consumed;
        switch (frame.kind) {
        case ws::Frame::Kind::Incomplete:
            socket->read(at);
            // Its pongs are what it is sent while it sends: a page whose
            // answers pile up while it goes on sending is cut.
            if (Unsent(socket) > MaxLiveQueuedBytes)
                EndLive(socket, QStringLiteral("the live page sends but does not read"));
            return;
        case ws::Frame::Kind::Text:
        case ws::Frame::Kind::Pong:
            it->heardAt = Now();
            break;
        case ws::Frame::Kind::Ping:
            socket->write(ws::PongFrame(frame.payload));
            break;
        case ws::Frame::Kind::Close:
            socket->read(at);
            CloseLive(socket, frame.code, QByteArray());
            return;
        case ws::Frame::Kind::Failed:
            socket->read(at);
            LogRefusal(it->peer, QStringLiteral("a live page's frame: ") + frame.why);
            CloseLive(socket, frame.code, ws::FailureReason(frame.code));
            return;
        case ws::Frame::Kind::Binary:
        case ws::Frame::Kind::Fragment:
            break;
        }
    }
}

void WebServer::OnStateChanged(const AmpStatus &status) {
    statusAtMs_ = WallMs();
    QJsonObject o;
    o[QStringLiteral("type")] = QStringLiteral("status");
    o[QStringLiteral("at")] = statusAtMs_;
    o[QStringLiteral("status")] = StatusJson(status);
    status_ = Json(o);
    // Coalesced: every page gets the latest status once per pass of the
    // event loop, however many reports the pass brought.
    if (statusQueued_ || lives_.isEmpty())
        return;
    statusQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        statusQueued_ = false;
        for (auto it = lives_.begin(); it != lives_.end(); ++it)
            SendStatus(it.key(), it.value());
    });
}

void WebServer::SendStatus(QTcpSocket *socket, Live &live) {
    if (Unsent(socket) >= MaxQueuedBytes) {
        live.behind = true;
        return;
    }
    live.behind = false;
    socket->write(ws::TextFrame(status_));
}

void WebServer::OnEvent(const LinkEvent &event) {
    const QJsonObject o = EventJson(event);
    if (o.isEmpty() || lives_.isEmpty())
        return;
    // An event that finds a page behind is not queued: the status it will
    // get shows the alarms and the connection as they are.
    const QByteArray frame = ws::TextFrame(Json(o));
    for (auto it = lives_.begin(); it != lives_.end(); ++it)
        if (Unsent(it.key()) < MaxQueuedBytes)
            it.key()->write(frame);
}

WebServer::Reply WebServer::Static(const QString &file, const QByteArray &type) const {
    QFile f(QStringLiteral(":/web/") + file);
    Reply r;
    if (!f.open(QIODevice::ReadOnly)) {
        r.status = 404;
        return r;
    }
    r.type = type;
    r.body = f.readAll();
    r.headers << "Content-Security-Policy: default-src 'self'; connect-src 'self'; "
                 "img-src 'self' data:; frame-ancestors 'none'; form-action 'self'";
    return r;
}

WebServer::Reply WebServer::Handle(const HttpRequest &request, const QHostAddress &peer,
                                   QTcpSocket *socket) {
    const QByteArray &path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    Reply r;
    if (get && (path == "/" || path == "/index.html"))
        return Static(QStringLiteral("index.html"), "text/html; charset=utf-8");
    if (get && path == "/page.js")
        return Static(QStringLiteral("page.js"), "text/javascript; charset=utf-8");
    if (get && path == "/page.css")
        return Static(QStringLiteral("page.css"), "text/css; charset=utf-8");
    if (get && path == "/manifest.json")
        return Static(QStringLiteral("manifest.json"), "application/manifest+json");
    if (get && path == "/icon.svg")
        return Static(QStringLiteral("icon.svg"), "image/svg+xml");
    const bool api = path == "/api/login" || path == "/api/logout" || path == "/api/session" ||
                     path == "/api/command" || path == "/api/history";
    if (!api) {
        r.status = 404;
        r.body = ErrorBody(QStringLiteral("no such page"));
        return r;
    }
    if ((path == "/api/session" || path == "/api/history") ? !get : !post) {
        r.status = 405;
        r.body = ErrorBody(QStringLiteral("not with this method"));
        return r;
    }
    // A state-changing request from a page of another site is refused
    // before anything else (browsers send the Origin with every POST).
    if (post && !request.Header("origin").isEmpty() && !OriginAllowed(request)) {
        r.status = 403;
        r.body = ErrorBody(QStringLiteral("not from this site's page"));
        Q_EMIT Logged(QStringLiteral("refused %1 %2 from origin %3")
                          .arg(QString::fromLatin1(path), peer.toString(),
                               QString::fromUtf8(request.Header("origin"))));
        return r;
    }
    if (path == "/api/login")
        return Login(request, peer, socket);
    const Session *session =
        sessions_.Use(CookieValue(request.Header("cookie"), CookieName), Now());
    if (!session) {
        r.status = 401;
        r.body = ErrorBody(QStringLiteral("log in first"));
        return r;
    }
    if (path == "/api/session")
        return SessionInfo(*session);
    if (path == "/api/history")
        return History();
    if (request.Header(TokenHeader) != session->token) {
        r.status = 403;
        r.body = ErrorBody(QStringLiteral("the page's token is missing or wrong"));
        Q_EMIT Logged(QStringLiteral("refused %1 for %2: no valid token")
                          .arg(QString::fromLatin1(path), session->Who()));
        return r;
    }
    if (path == "/api/logout")
        return Logout(*session);
    return DoCommand(request, *session);
}

WebServer::Reply WebServer::Login(const HttpRequest &request, const QHostAddress &peer,
                                  QTcpSocket *socket) {
    Reply r;
    ReloadUsers();
    const qint64 now = Now();
    const QHash<QString, QString> form = FormFields(request.body);
    const QString name = form.value(QStringLiteral("user"));
    const QString key = LoginThrottle::Key(name, peer);
    const qint64 wait = throttle_.WaitMs(key, now);
    // One password check at a time per user and client: the wait after a
    // failure cannot be side-stepped by asking many times at once.
    if (wait > 0 || checking_.contains(key)) {
        const qint64 seconds = qMax<qint64>(1, (wait + 999) / 1000);
        r.status = 429;
        r.headers << "Retry-After: " + QByteArray::number(seconds);
        r.body =
            ErrorBody(QStringLiteral("too many failed log-ins; try again in %1 s").arg(seconds));
        return r;
    }
    QByteArray password = form.value(QStringLiteral("password")).toUtf8();
    std::optional<WebUser> user;
    for (const WebUser &u : std::as_const(users_))
        if (u.name == name)
            user = u;
    // An unknown name costs as much as a wrong password.
    static const WebUser decoy = MakeUser(QStringLiteral("-"), Role::Viewer, RandomToken());
    const WebUser checked = user ? *user : decoy;
    if (!user)
        password += '\1';
    // The slow hash runs on a worker thread: the link and the other pages
    // go on meanwhile. The watcher goes with the server.
    checking_.insert(key);
    auto *watcher = new QFutureWatcher<bool>(this);
    const QPointer<QTcpSocket> where = socket;
    connect(watcher, &QFutureWatcher<bool>::finished, this,
            [this, watcher, where, user, name, peer] {
                watcher->deleteLater();
                checking_.remove(LoginThrottle::Key(name, peer));
                const Reply reply =
                    LoggedIn(user && watcher->result() ? user : std::nullopt, name, peer);
                if (where && conns_.contains(where)) {
                    conns_[where].busy = false;
                    Send(where, reply, false);
                }
            });
    watcher->setFuture(
        QtConcurrent::run([checked, password] { return CheckPassword(checked, password); }));
    r.pending = true;
    return r;
}

WebServer::Reply WebServer::LoggedIn(const std::optional<WebUser> &user, const QString &name,
                                     const QHostAddress &peer) {
    Reply r;
    const qint64 now = Now();
    // The users file may have changed while the password was checked.
    const bool current =
        user && std::any_of(users_.cbegin(), users_.cend(), [&user](const WebUser &u) {
            return u.name == user->name && u.hash == user->hash && u.role == user->role;
        });
    if (!current) {
        throttle_.Failed(LoginThrottle::Key(name, peer), now);
        const QString text =
            QStringLiteral("failed log-in as %1 from %2")
                .arg(ValidUserName(name) ? name : QStringLiteral("?"), peer.toString());
        Q_EMIT Logged(text);
        Q_EMIT Access(text);
        r.status = 401;
        r.body = ErrorBody(QStringLiteral("wrong user name or password"));
        return r;
    }
    throttle_.Succeeded(LoginThrottle::Key(name, peer));
    const Session &s = sessions_.Create(user->name, user->role, peer, now);
    const QString text = QStringLiteral("log-in %1 (%2)").arg(s.Who(), RoleName(s.role));
    Q_EMIT Logged(text);
    Q_EMIT Access(text);
    r.headers << "Set-Cookie: " + CookieName + '=' + s.id + "; Path=/; HttpOnly; SameSite=Strict" +
                     (Secure() ? "; Secure" : "");
    r.body = SessionInfo(s).body;
    return r;
}

WebServer::Reply WebServer::Logout(const Session &session) {
    const QString text = QStringLiteral("log-out %1").arg(session.Who());
    const QByteArray id = session.id;
    sessions_.End(id);
    // Its live pages go with it.
    const auto lives = lives_.keys();
    for (QTcpSocket *s : lives)
        if (lives_.value(s).session == id)
            CloseLive(s, ws::CloseNormal, "logged out");
    Q_EMIT Logged(text);
    Q_EMIT Access(text);
    Reply r;
    r.headers << "Set-Cookie: " + CookieName + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" +
                     (Secure() ? "; Secure" : "");
    r.body = Json(QJsonObject{{QStringLiteral("loggedOut"), true}});
    return r;
}

WebServer::Reply WebServer::SessionInfo(const Session &session) const {
    QJsonArray bands;
    for (int b = 1; b <= Facts::Bands; ++b)
        bands.append(Facts::BandName(b));
    Reply r;
    r.body = Json(QJsonObject{{QStringLiteral("user"), session.user},
                              {QStringLiteral("role"), RoleName(session.role)},
                              {QStringLiteral("token"), QString::fromLatin1(session.token)},
                              {QStringLiteral("bands"), bands},
                              {QStringLiteral("history"), !config_.historyFile.isEmpty()}});
    return r;
}

WebServer::Reply WebServer::DoCommand(const HttpRequest &request, const Session &session) {
    Reply r;
    if (session.role != Role::Operator) {
        r.status = 403;
        r.body = ErrorBody(QStringLiteral("a viewer may not send commands"));
        Q_EMIT Logged(QStringLiteral("refused a command from %1: a viewer").arg(session.Who()));
        return r;
    }
    const QJsonObject o = QJsonDocument::fromJson(request.body).object();
    const QString kind = o.value(QStringLiteral("command")).toString();
    const int value = o.value(QStringLiteral("value")).toInt(-1);
    // Following the radio is the station's to switch, not the amplifier's.
    if (kind == QLatin1String("follow") && (value == 0 || value == 1)) {
        const QString text = QLatin1String(value ? "follow on" : "follow off");
        const QString why = follow_ ? follow_(value == 1) : NoRadioFollowed;
        Q_EMIT Logged(QStringLiteral("%1 from %2: %3")
                          .arg(text, session.Who(), why.isEmpty() ? QStringLiteral("ok") : why));
        r.body =
            Json(QJsonObject{{QStringLiteral("command"), text},
                             {QStringLiteral("ok"), why.isEmpty()},
                             {QStringLiteral("final"), true},
                             {QStringLiteral("text"), why.isEmpty() ? QStringLiteral("ok") : why}});
        return r;
    }
    ::Command c;
    c.source = CommandSource::Of(CommandSource::Kind::Web, session.Who());
    c.value = value;
    if (kind == QLatin1String("band") && Facts::IsBand(value)) {
        c.kind = ::Command::Kind::Band;
    } else if (kind == QLatin1String("operate") || kind == QLatin1String("standby")) {
        c.kind = ::Command::Kind::PttBlock;
        c.value = kind == QLatin1String("standby") ? 1 : 0;
    } else if (kind == QLatin1String("outputLevel") && value >= 0 && value <= 255) {
        c.kind = ::Command::Kind::OutputLevel;
    } else if (kind == QLatin1String("tune")) {
        c.kind = ::Command::Kind::Tune;
        c.value = value == 1 ? 1 : 0; // 1: a fine tune
    } else {
        r.status = 400;
        r.body = ErrorBody(QStringLiteral("no such command"));
        return r;
    }
    const CommandOutcome outcome = link_->Submit(c);
    r.body = Json(QJsonObject{{QStringLiteral("id"), QString::number(outcome.id)},
                              {QStringLiteral("command"), c.Text()},
                              {QStringLiteral("ok"), outcome.Ok()},
                              {QStringLiteral("final"), outcome.Final()},
                              {QStringLiteral("text"), outcome.Text()}});
    return r;
}

WebServer::Reply WebServer::History() const {
    Reply r;
    QJsonObject o;
    HistoryReader reader;
    if (config_.historyFile.isEmpty() || !reader.Open(config_.historyFile)) {
        o[QStringLiteral("recorded")] = false;
        r.body = Json(o);
        return r;
    }
    o[QStringLiteral("recorded")] = true;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    constexpr qint64 Hour = 3600, Width = 30;
    const qint64 from = (now - Hour) / Width * Width;
    QJsonArray columns;
    for (const HistoryColumn &c : reader.Columns(from, now + 1, Width)) {
        auto v = [](const std::optional<double> &x) { return x ? QJsonValue(*x) : QJsonValue(); };
        columns.append(QJsonArray{double(c.first), v(c.max[int(HistorySeries::Output)]),
                                  v(c.max[int(HistorySeries::Swr)]),
                                  v(c.end[int(HistorySeries::Temperature)])});
    }
    QJsonArray events;
    // The last ones only: the answer stays within MaxAnswerBytes.
    constexpr int MaxEvents = 200;
    const std::vector<HistoryEventRow> rows = reader.Events((now - Hour) * 1000, (now + 1) * 1000);
    for (auto it = rows.size() > MaxEvents ? rows.end() - MaxEvents : rows.begin();
         it != rows.end(); ++it) {
        const HistoryEventRow &e = *it;
        events.append(QJsonArray{double(e.ms), e.detail.isEmpty() || e.kind == QLatin1String("band")
                                                   ? e.Text()
                                                   : e.Text() + QStringLiteral(": ") + e.detail});
    }
    o[QStringLiteral("from")] = double(from);
    o[QStringLiteral("to")] = double(now);
    o[QStringLiteral("columns")] = columns;
    o[QStringLiteral("events")] = events;
    r.body = Json(o);
    return r;
}

} // namespace web
