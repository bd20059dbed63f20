// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebServer.h"

#include "history/HistoryReader.h"
#include "link/AmpLink.h"
#include "link/Facts.h"
#include "remote/RemoteRules.h"
#include "web/StatusJson.h"
#include "web/UsersFile.h"

#include <QDateTime>
#include <QFile>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

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
    case 431:
        return "Request Header Fields Too Large";
    }
    return "Error";
}

double WallMs() {
    using namespace std::chrono;
    return double(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()) /
           1000.0;
}

QString PeerKey(const QHostAddress &a, quint16 port) {
    return remote::Unmapped(a).toString() + QLatin1Char(' ') + QString::number(port);
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
    upgrader_ = new QWebSocketServer(QStringLiteral("orvik-control"),
                                     QWebSocketServer::NonSecureMode, this);
    upgrader_->setHandshakeTimeout(5000);
    connect(upgrader_, &QWebSocketServer::newConnection, this, &WebServer::OnLive);
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
    if (tls_) {
        if (!QSslSocket::supportsSsl())
            return QStringLiteral("[Web] Certificate=: this Qt has no TLS backend");
        QFile c(config.certificate), k(config.key);
        if (!c.open(QIODevice::ReadOnly))
            return QStringLiteral("[Web] Certificate=: cannot read %1").arg(config.certificate);
        if (!k.open(QIODevice::ReadOnly))
            return QStringLiteral("[Web] Key=: cannot read %1").arg(config.key);
        certificate_ = QSslCertificate(&c, QSsl::Pem);
        key_ = QSslKey(&k, QSsl::Rsa, QSsl::Pem);
        if (key_.isNull()) {
            k.seek(0);
            key_ = QSslKey(&k, QSsl::Ec, QSsl::Pem);
        }
        if (certificate_.isNull())
            return QStringLiteral("[Web] Certificate=: %1 holds no PEM certificate")
                .arg(config.certificate);
        if (key_.isNull())
            return QStringLiteral("[Web] Key=: %1 holds no PEM RSA or EC key").arg(config.key);
    }
    if (config.usersFile.isEmpty())
        return QStringLiteral("[Web] Listen is set but [Web] UsersFile= is not; create the users "
                              "file with orvik-control --web-passwd FILE USER [ROLE]");
    users_.clear();
    if (const QString error = ReadUsersFile(config.usersFile, &users_); !error.isEmpty())
        return QStringLiteral("[Web] UsersFile: ") + error;
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
    Q_EMIT Logged(QStringLiteral("listening on %1://%2:%3/, %4 users")
                      .arg(tls_ ? QStringLiteral("https") : QStringLiteral("http"),
                           listener_->serverAddress().toString())
                      .arg(listener_->serverPort())
                      .arg(users_.size()));
    return QString();
}

void WebServer::Stop() {
    const auto lives = lives_.keys();
    for (QWebSocket *ws : lives) {
        lives_.remove(ws);
        ws->abort();
        ws->deleteLater();
    }
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
    int n = 0;
    for (const Conn &c : conns_)
        n += c.peer == peer ? 1 : 0;
    for (const Live &l : lives_)
        n += l.peer == peer ? 1 : 0;
    return n;
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
    else if (FromAddress(peer) >= MaxPerAddress)
        refusal = QStringLiteral("%1 connections from that address already").arg(MaxPerAddress);
    if (!refusal.isEmpty()) {
        ::close(int(fd));
        Q_EMIT Logged(QStringLiteral("refused %1: %2").arg(peer.toString(), refusal));
        return;
    }
    QTcpSocket *socket = nullptr;
    if (tls_) {
        auto *ssl = new QSslSocket(this);
        QSslConfiguration tlsConfig = QSslConfiguration::defaultConfiguration();
        tlsConfig.setLocalCertificate(certificate_);
        tlsConfig.setPrivateKey(key_);
        tlsConfig.setPeerVerifyMode(QSslSocket::VerifyNone);
        tlsConfig.setProtocol(QSsl::TlsV1_2OrLater);
        ssl->setSslConfiguration(tlsConfig);
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
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadable(socket); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        const auto it = conns_.find(socket);
        if (it == conns_.end())
            return;
        it->activeAt = Now();
        if (socket->bytesAvailable() > 0 && socket->bytesToWrite() <= MaxQueuedBytes)
            OnReadable(socket);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket, QString()); });
}

void WebServer::Drop(QTcpSocket *socket, const QString &why) {
    const auto it = conns_.find(socket);
    if (it == conns_.end())
        return;
    const QHostAddress peer = it->peer;
    conns_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (!why.isEmpty())
        Q_EMIT Logged(QStringLiteral("closed %1: %2").arg(peer.toString(), why));
}

void WebServer::Sweep() {
    const qint64 now = Now();
    for (auto it = upgrading_.begin(); it != upgrading_.end();)
        it = now - it->at > std::max<qint64>(2 * idleMs_, 10000) ? upgrading_.erase(it)
                                                                 : std::next(it);
    const auto sockets = conns_.keys();
    for (QTcpSocket *s : sockets) {
        const auto it = conns_.constFind(s);
        if (it == conns_.cend() || now - it->activeAt < idleMs_)
            continue;
        Drop(s, s->bytesToWrite() > 0
                    ? QStringLiteral("it does not read its answer")
                    : QStringLiteral("no whole request for %1 s").arg(double(idleMs_) / 1000));
    }
    const auto lives = lives_.keys();
    for (QWebSocket *ws : lives) {
        const Live &l = lives_.value(ws);
        QString why;
        if (ws->bytesToWrite() > 0 && now - l.progressAt >= idleMs_)
            why = QStringLiteral("the live page does not read its updates");
        else if (now - l.heardAt >= LiveSilenceMs)
            why = QStringLiteral("the live page is silent");
        else if (!sessions_.Use(l.session, now))
            why = QStringLiteral("its session ended");
        if (!why.isEmpty())
            EndLive(ws, why);
    }
}

void WebServer::EndLive(QWebSocket *ws, const QString &why) {
    const auto it = lives_.find(ws);
    if (it == lives_.end())
        return;
    const QHostAddress peer = it->peer;
    lives_.erase(it);
    ws->disconnect(this);
    ws->abort();
    ws->deleteLater();
    if (!why.isEmpty())
        Q_EMIT Logged(QStringLiteral("closed %1: %2").arg(peer.toString(), why));
}

void WebServer::OnReadable(QTcpSocket *socket) {
    while (conns_.contains(socket) && !conns_.value(socket).closing && !conns_.value(socket).busy) {
        // A client that sends requests faster than it reads the answers
        // waits until it has read them: what one connection holds stays small.
        if (socket->bytesToWrite() > MaxQueuedBytes)
            return;
        const Conn c = conns_.value(socket);
        const QByteArray buffer = socket->peek(MaxHeadBytes + MaxBodyBytes + 1);
        HttpRequest request;
        int consumed = 0;
        const ParseResult parsed = ParseRequest(buffer, &request, &consumed);
        Reply error;
        switch (parsed) {
        case ParseResult::Incomplete:
            return;
        case ParseResult::Done:
            break;
        case ParseResult::HeadTooLarge:
            error.status = 431;
            error.body = ErrorBody(QStringLiteral("the request's head is too large"));
            break;
        case ParseResult::TooManyHeaders:
            error.status = 431;
            error.body = ErrorBody(QStringLiteral("too many header fields"));
            break;
        case ParseResult::BodyTooLarge:
            error.status = 413;
            error.body = ErrorBody(QStringLiteral("the request's body is too large"));
            break;
        case ParseResult::Bad:
            error.status = 400;
            error.body = ErrorBody(QStringLiteral("not a request this server reads"));
            break;
        }
        if (parsed != ParseResult::Done) {
            Q_EMIT Logged(
                QStringLiteral("refused a request from %1: %2")
                    .arg(c.peer.toString(), QString::fromLatin1(StatusText(error.status))));
            error.close = true;
            Send(socket, error, false);
            return;
        }
        if (request.path == "/ws" && request.method == "GET") {
            Upgrade(socket, request);
            return;
        }
        socket->read(consumed);
        conns_[socket].activeAt = Now();
        const Reply reply = Handle(request, c.peer, socket);
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
    for (const QByteArray &h : reply.headers)
        out += h + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
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

void WebServer::Upgrade(QTcpSocket *socket, const HttpRequest &request) {
    Reply refusal;
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
    }
    if (refusal.status != 200) {
        int consumed = 0;
        HttpRequest again;
        ParseRequest(socket->peek(MaxHeadBytes + MaxBodyBytes + 1), &again, &consumed);
        socket->read(consumed);
        refusal.close = true;
        Send(socket, refusal, false);
        return;
    }
    // A live page's kernel buffer stays small too: a page that stops
    // reading is then seen to stall within a few updates, not megabytes.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, LiveSendBufferBytes);
    upgrading_.insert(PeerKey(socket->peerAddress(), socket->peerPort()),
                      Upgrading{session->id, socket, Now()});
    conns_.remove(socket);
    socket->disconnect(this);
    // The upgrader reads the request itself: it was only peeked at.
    upgrader_->handleConnection(socket);
}

void WebServer::OnLive() {
    while (upgrader_->hasPendingConnections()) {
        QWebSocket *ws = upgrader_->nextPendingConnection();
        const QString key = PeerKey(ws->peerAddress(), ws->peerPort());
        const Upgrading upgrading = upgrading_.take(key);
        const QByteArray session = upgrading.session;
        if (session.isEmpty() || !upgrading.socket) {
            ws->abort();
            ws->deleteLater();
            continue;
        }
        ws->setParent(this);
        ws->setMaxAllowedIncomingFrameSize(MaxBodyBytes);
        ws->setMaxAllowedIncomingMessageSize(MaxBodyBytes);
        Live live;
        live.session = session;
        live.socket = upgrading.socket;
        live.peer = remote::Unmapped(ws->peerAddress());
        live.heardAt = live.progressAt = Now();
        lives_.insert(ws, live);
        connect(ws, &QWebSocket::textMessageReceived, this, [this, ws](const QString &) {
            const auto it = lives_.find(ws);
            if (it != lives_.end())
                it->heardAt = Now();
        });
        connect(ws, &QWebSocket::bytesWritten, this, [this, ws] {
            const auto it = lives_.find(ws);
            if (it == lives_.end())
                return;
            it->progressAt = Now();
            if (it->behind && ws->bytesToWrite() < MaxQueuedBytes)
                SendStatus(ws, *it);
        });
        connect(ws, &QWebSocket::disconnected, this, [this, ws] {
            if (lives_.remove(ws))
                ws->deleteLater();
        });
        // After the WebSocket has read what came (its pings answered): a
        // page whose answers pile up while it goes on sending is cut.
        connect(upgrading.socket, &QTcpSocket::readyRead, this, [this, ws] {
            const auto it = lives_.constFind(ws);
            if (it != lives_.cend() && it->socket &&
                it->socket->bytesToWrite() > MaxLiveQueuedBytes)
                EndLive(ws, QStringLiteral("the live page sends but does not read"));
        });
        OnStateChanged(link_->State());
        SendStatus(ws, lives_[ws]);
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

void WebServer::SendStatus(QWebSocket *ws, Live &live) {
    if (ws->bytesToWrite() >= MaxQueuedBytes) {
        live.behind = true;
        return;
    }
    live.behind = false;
    ws->sendTextMessage(QString::fromUtf8(status_));
}

void WebServer::OnEvent(const LinkEvent &event) {
    const QJsonObject o = EventJson(event);
    if (o.isEmpty() || lives_.isEmpty())
        return;
    // An event that finds a page behind is not queued: the status it will
    // get shows the alarms and the connection as they are.
    const QString text = QString::fromUtf8(Json(o));
    for (auto it = lives_.begin(); it != lives_.end(); ++it)
        if (it.key()->bytesToWrite() < MaxQueuedBytes)
            it.key()->sendTextMessage(text);
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
    const qint64 now = Now();
    const qint64 wait = throttle_.WaitMs(peer, now);
    // One password check at a time per address: the wait after a failure
    // cannot be side-stepped by asking many times at once.
    if (wait > 0 || checking_.contains(peer.toString())) {
        const qint64 seconds = qMax<qint64>(1, (wait + 999) / 1000);
        r.status = 429;
        r.headers << "Retry-After: " + QByteArray::number(seconds);
        r.body =
            ErrorBody(QStringLiteral("too many failed log-ins; try again in %1 s").arg(seconds));
        return r;
    }
    const QHash<QString, QString> form = FormFields(request.body);
    const QString name = form.value(QStringLiteral("user"));
    QByteArray password = form.value(QStringLiteral("password")).toUtf8();
    std::optional<WebUser> user;
    for (const WebUser &u : std::as_const(users_))
        if (u.name == name)
            user = u;
    // An unknown name costs as much as a wrong password.
    const WebUser checked = user ? *user : users_.constFirst();
    if (!user)
        password += '\1';
    // The slow hash runs on a worker thread: the link and the other pages
    // go on meanwhile. The watcher goes with the server.
    checking_.insert(peer.toString());
    auto *watcher = new QFutureWatcher<bool>(this);
    const QPointer<QTcpSocket> where = socket;
    connect(watcher, &QFutureWatcher<bool>::finished, this,
            [this, watcher, where, user, name, peer] {
                watcher->deleteLater();
                checking_.remove(peer.toString());
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
    if (!user) {
        throttle_.Failed(peer, now);
        const QString text =
            QStringLiteral("failed log-in as %1 from %2")
                .arg(ValidUserName(name) ? name : QStringLiteral("?"), peer.toString());
        Q_EMIT Logged(text);
        Q_EMIT Access(text);
        r.status = 401;
        r.body = ErrorBody(QStringLiteral("wrong user name or password"));
        return r;
    }
    throttle_.Succeeded(peer);
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
    for (QWebSocket *ws : lives)
        if (lives_.value(ws).session == id) {
            lives_.remove(ws);
            ws->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("logged out"));
            ws->deleteLater();
        }
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
