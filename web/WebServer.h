// SPDX-License-Identifier: GPL-3.0-or-later
// The station page's server: one page from the program's resources, its
// live status over a WebSocket, the last hour of the history, and the
// operator's commands through the link's gate. A small HTTP/1.1 layer of
// its own on Qt Network, so that every limit is its to keep (request
// size, header count, connections per address, idle and stalled clients)
// and a WebSocket of its own for the live page (web/WebSocketFrames), so
// that a page's frames are read as strictly as its requests.
#pragma once

#include "config/OwnerOnlyFile.h"
#include "link/AmpStatus.h"
#include "web/Sessions.h"
#include "web/WebRules.h"
#include "web/WebSocketFrames.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class AmpLink;
struct AmpStatus;
struct LinkEvent;
struct CommandOutcome;
class QFileSystemWatcher;
class QTcpSocket;

namespace web {

struct WebConfig {
    QString listen;      // HOST:PORT; empty: no page
    QString certificate; // PEM files; both or neither
    QString key;
    QString usersFile;
    QString origin;      // the public origin behind a reverse proxy, also accepted
    QString historyFile; // the history being recorded; empty: none
    // Addresses or networks ("127.0.0.1, 10.0.0.0/8") whose X-Forwarded-For
    // names the client; empty: every peer is the client.
    QString trustedProxy;
};

class WebServer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebServer)

public:
    // A connection that sends nothing whole, or takes nothing of what it is
    // sent, for this long is closed.
    static constexpr qint64 DefaultIdleMs = 10000;
    // A live page that sends nothing (it sends a ping every 15 s) is closed.
    static constexpr qint64 LiveSilenceMs = 60000;
    // Unsent bytes above which a live page gets no further message until it
    // has read them: it then gets the status as it is by then.
    static constexpr qint64 MaxQueuedBytes = 16 * 1024;
    static constexpr int LiveSendBufferBytes = 64 * 1024;
    // What a connection holds of what it was sent: one request at most.
    // Beyond it the socket is not read, and the client's sending stalls.
    static constexpr qint64 ReadBufferBytes = MaxHeadBytes + MaxBodyBytes;
    // A live page whose unsent answers (pongs to its pings) grow past this
    // while it keeps sending is closed: it sends but does not read.
    static constexpr qint64 MaxLiveQueuedBytes = 64 * 1024;
    // So each connection holds at most a request, the answers under
    // MaxQueuedBytes and the largest one after them (the page's script);
    // all connections together stay near MaxConnections times that.
    static constexpr qint64 MaxAnswerBytes = 64 * 1024;
    static constexpr qint64 MemoryBoundBytes =
        MaxConnections * (ReadBufferBytes + MaxQueuedBytes + MaxAnswerBytes);

    explicit WebServer(AmpLink *link, QObject *parent = nullptr);
    ~WebServer() override;

    // Listens as configured. Returns an empty string when listening or when
    // no Listen address is set, else why the page is not served.
    QString Start(const WebConfig &config);
    void Stop();
    bool IsListening() const;
    quint16 Port() const;
    int ConnectionCount() const;
    int LiveCount() const { return int(lives_.size()); }

    // Milliseconds of a monotonic clock for the sessions and the log-in
    // waits; tests drive it.
    using Clock = std::function<qint64()>;
    void SetClock(Clock clock) { clock_ = std::move(clock); }
    void SetIdleMs(qint64 ms);
    Sessions &SessionTable() { return sessions_; }
    // Switches following the radio on or off (an operator's "follow"
    // command); returns an empty string, or why it did not. Unset: no radio
    // is followed.
    void SetFollowSwitch(FollowSwitch followSwitch) { follow_ = std::move(followSwitch); }

Q_SIGNALS:
    // One line per event: listening, a connection refused or cut, a log-in,
    // its failure, a log-out, a command refused before the gate, following
    // the radio switched.
    void Logged(const QString &line);
    // A log-in, a failed one or a log-out, for the history's events.
    void Access(const QString &text);

private:
    struct Conn {
        QTcpSocket *socket = nullptr;
        QHostAddress peer;
        qint64 activeAt = 0;
        bool closing = false;
        bool busy = false; // its log-in's password is being checked
    };
    struct Live {
        QByteArray session;
        QHostAddress peer;
        ws::FrameReader reader{MaxBodyBytes};
        qint64 heardAt = 0;
        qint64 progressAt = 0;
        bool behind = false; // a status is owed once it has read what it has
    };
    struct Reply {
        int status = 200;
        QByteArray type = "application/json";
        QByteArray body;
        QList<QByteArray> headers;
        bool close = false;
        bool pending = false; // answered later (a log-in being checked)
        bool head = false;    // to a HEAD request: the head alone
    };
    class Listener;

    qint64 Now() const;
    void OnConnection(qintptr fd);
    void OnReadable(QTcpSocket *socket);
    void Drop(QTcpSocket *socket, const QString &why);
    void Sweep();
    void Send(QTcpSocket *socket, const Reply &reply, bool keepAlive);
    // The handlers of a connection that is read as HTTP.
    void WatchConn(QTcpSocket *socket);
    // A request for /ws, its bytes `consumed`: refused, or the connection
    // becomes a live page.
    void Upgrade(QTcpSocket *socket, const HttpRequest &request, int consumed);
    void OnLiveReadable(QTcpSocket *socket);
    void OnStateChanged(const AmpStatus &status);
    void OnEvent(const LinkEvent &event);
    void SendStatus(QTcpSocket *socket, Live &live);
    // Cut at once: the slot is free, the page sees the connection drop.
    void EndLive(QTcpSocket *socket, const QString &why);
    // A connection no longer held, aborted; why (if any) to the log.
    void Cut(QTcpSocket *socket, const QHostAddress &peer, const QString &why);
    // Ended with a Close frame: the connection is closed once it is sent,
    // or cut by the sweep as any connection that does not read its answer.
    void CloseLive(QTcpSocket *socket, quint16 code, const QByteArray &reason);
    int FromAddress(const QHostAddress &peer) const;
    // One line per address and minute, the next one counting what it left out.
    void LogRefusal(const QHostAddress &peer, const QString &why);
    // The Host values that name this server: its listen address (every
    // address of the machine when it listens on all), localhost on
    // loopback, the certificate's names and the host of Origin=.
    QSet<QByteArray> AllowedHosts() const;
    bool OriginAllowed(const HttpRequest &request) const;
    // The browser reaches the page over TLS: here, or at the reverse proxy
    // that Origin= names.
    bool Secure() const;

    // The certificate, the key and the suites every TLS connection gets.
    QString LoadTls(const WebConfig &config);
    bool FromProxy(const QHostAddress &peer) const;
    Reply Handle(const HttpRequest &request, const QHostAddress &peer, QTcpSocket *socket);
    Reply Static(const QString &file, const QByteArray &type) const;
    Reply Login(const HttpRequest &request, const QHostAddress &peer, QTcpSocket *socket);
    Reply LoggedIn(const std::optional<WebUser> &user, const QString &name,
                   const QHostAddress &peer);
    Reply Logout(const Session &session);
    Reply SessionInfo(const Session &session) const;
    Reply DoCommand(const HttpRequest &request, const Session &session);
    Reply History() const;
    // Reads the users file again when it changed; the sessions of a user
    // removed, or whose password or role changed, end with their live pages.
    void ReloadUsers();
    void EndSessionsOf(const QString &user, const QString &why);

    AmpLink *link_;
    FollowSwitch follow_;
    WebConfig config_;
    bool tls_ = false;
    QSslCertificate certificate_;
    QSslKey key_;
    QSslConfiguration tlsConfig_;
    QList<WebUser> users_;
    FileStamp usersStamp_;
    QString usersError_; // why the file was last not read again, logged once
    QFileSystemWatcher *usersWatcher_ = nullptr;
    Listener *listener_ = nullptr;
    QHash<QTcpSocket *, Conn> conns_;
    QHash<QTcpSocket *, Live> lives_;
    Sessions sessions_;
    LoginThrottle throttle_;
    QSet<QString> checking_; // addresses whose log-in is being checked
    QSet<QByteArray> hosts_;
    QList<QPair<QHostAddress, int>> proxies_;
    struct Refused {
        qint64 loggedAt = 0;
        int unlogged = 0;
    };
    QHash<QString, Refused> refused_;
    QElapsedTimer elapsed_;
    Clock clock_;
    qint64 idleMs_ = DefaultIdleMs;
    QTimer sweep_;
    // The status as sent last (text), the wall time (ms) it reached the link.
    QByteArray status_;
    double statusAtMs_ = 0;
    bool statusQueued_ = false;
};

} // namespace web
