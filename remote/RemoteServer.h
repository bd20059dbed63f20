// SPDX-License-Identifier: GPL-3.0-or-later
// Network control server speaking Hamlib's ampctld text protocol, so station
// software (loggers, scripts, automation) can read power, SWR and alarms and
// follow bands. A command table maps each command word to a handler; queries
// answer from the target's snapshot at once, changes go to the target at
// most once per hold-off per kind, whatever the number of clients.
#pragma once

#include "remote/RemoteRules.h"
#include "remote/RemoteTarget.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace remote {

struct RemoteConfig {
    QString listen;        // HOST:PORT; empty: no server
    QString allow;         // addresses and CIDR ranges that may connect
    bool allowRaw = false; // w / send_cmd sends free text to the amplifier
    QString idleTimeout;   // seconds without a command line before a client is closed
    // Where listen and allow came from, as messages name them.
    QString listenFrom = QStringLiteral("[Network] Listen");
    QString allowFrom = QStringLiteral("[Network] Allow");
};

class RemoteServer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteServer)

public:
    explicit RemoteServer(RemoteTarget *target, QObject *parent = nullptr);
    ~RemoteServer() override;

    // Listens as configured. Returns an empty string when listening or when
    // no Listen address is set, else why the server did not start.
    QString Start(const RemoteConfig &config);
    // Whether the last Start failed where a later try may succeed (the
    // address is taken or not there yet), not on the settings themselves.
    bool MayListenLater() const { return mayListenLater_; }
    void Stop();
    bool IsListening() const;
    quint16 Port() const;
    int ClientCount() const;

    // The answer to one command line, as a client receives it; quit is set
    // for q/Q.
    QByteArray Execute(const QByteArray &line, const QString &client, bool *quit);

Q_SIGNALS:
    // One line per event: listening, client accepted, refused or gone. The
    // changes a client asks for are the link's gate's to tell.
    void Logged(const QString &event);

private:
    // Clients are plain non-blocking descriptors: a query costs one read
    // and one send, with no socket object's buffering in between.
    struct Client {
        bool writing = false; // waits to write: answers are left to send
        QByteArray in, out;
        bool skipping = false; // inside a line that was already too long
        bool gone = false;     // the peer closed: what it sent whole is still carried out
        bool loopback = false;
        QHostAddress peer;
        QString name;
        qint64 activeAt = 0; // ms on the server's clock: connected or its last line
    };
    class Listener;
    class Reply;
    using Handler = int (RemoteServer::*)(const CommandLine &, Reply &, const QString &);
    struct Command {
        char shortName;
        const char *longName;
        Handler handler;
        bool hasOutput; // a get: values instead of "RPRT 0" in the default protocol
    };

    static const Command *FindCommand(const CommandLine &c, QList<QByteArray> *args);
    // A line that only asks (a get), which may be answered however it ended.
    static bool OnlyAsks(QByteArray line);

    void OnConnection(int fd);
    void OnEvents();
    void ServeBacklog();
    void DropIdle();
    void WatchWrites(int fd, Client &c, bool on);
    void Serve(int fd, bool readable);
    void OnWritable(int fd);
    void Drop(int fd, const QString &why);
    // Logs a refused connection, at most once a minute in all.
    void LogRefusal(const QString &name, const QString &why);

    int RequestChange(::Command::Kind kind, int value, const QByteArray &text,
                      const QString &client);

    int GetFreq(const CommandLine &c, Reply &r, const QString &client);
    int SetFreq(const CommandLine &c, Reply &r, const QString &client);
    int GetLevel(const CommandLine &c, Reply &r, const QString &client);
    int NotAvailable(const CommandLine &c, Reply &r, const QString &client);
    int SendRaw(const CommandLine &c, Reply &r, const QString &client);
    int DumpState(const CommandLine &c, Reply &r, const QString &client);
    int DumpCaps(const CommandLine &c, Reply &r, const QString &client);
    int GetInfo(const CommandLine &c, Reply &r, const QString &client);
    int SetPowerstat(const CommandLine &c, Reply &r, const QString &client);
    int GetPowerstat(const CommandLine &c, Reply &r, const QString &client);

    static const Command Commands[];

    RemoteTarget *target_;
    Listener *listener_ = nullptr;
    bool mayListenLater_ = false;
    RemoteConfig config_;
    QList<Subnet> allow_;
    // Refusals logged per address: when last, and how many since unlogged.
    // The refused clients' log: when its last line was written (-1: never)
    // and how many were refused since.
    qint64 refusalLoggedAt_ = -1;
    qint64 refusalsUnlogged_ = 0;
    QHash<int, Client> clients_;
    // Every client's socket is watched through one epoll set, and the set
    // through one notifier: one pass of the event loop serves every client
    // that is ready, rather than one notifier's event each.
    int epoll_ = -1;
    QSocketNotifier *events_ = nullptr;
    // Whole lines left over from a client's turn are served in the next
    // pass of the event loop, after everyone else's events.
    QTimer backlog_;
    QTimer idle_;
    qint64 idleMs_ = 0;
    QElapsedTimer clock_;
};

} // namespace remote
