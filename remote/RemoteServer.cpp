// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/RemoteServer.h"

#include "link/Readings.h"

#include <QSocketNotifier>
#include <QTcpServer>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cmath>

namespace remote {

namespace {

constexpr char ModelName[] = "Orvik 1200";
constexpr char LevelList[] = "SWR PWRFORWARD PWRREFLECTED PWRPEAK FAULT";
// A client that does not read its answers is closed before its backlog
// grows without bound.
constexpr qint64 MaxBacklog = 256 * 1024;
// The most one client gets in one pass of the event loop: one read and this
// many lines. The rest waits for the next pass, after everyone else's turn
// and the amplifier's timers.
constexpr int ReadChunk = 4096;
constexpr int LinesPerTurn = 16;

QByteArray Rprt(int code) {
    return "RPRT " + QByteArray::number(code) + '\n';
}

// What a reading gets while the readings are not live: never the last value.
int NotLive(const AmpSnapshot &s) {
    switch (s.liveness) {
    case Liveness::Live:
        return RigOk;
    case Liveness::Closed:
        return RigENavail;
    case Liveness::PortLost:
        return RigEIO;
    case Liveness::Silent:
        return RigETimeout;
    }
    return RigENavail;
}

} // namespace

// The records of one answer, as ampctld 4.5 writes them. In the default
// protocol each value on its own line. In the extended forms a Value is
// "key: value" followed by the separator; a Line keeps its newline (and its
// key, if any), as ampctld's levels, power status and model do.
class RemoteServer::Reply {
public:
    explicit Reply(char separator) : sep_(separator) {}
    bool Extended() const { return sep_ != 0; }
    void Value(const char *key, const QByteArray &value) {
        Key(key);
        body_ += value;
        body_ += sep_ ? sep_ : '\n';
    }
    void Line(const char *key, const QByteArray &value) {
        Key(key);
        body_ += value;
        body_ += '\n';
    }
    const QByteArray &Body() const { return body_; }

private:
    void Key(const char *key) {
        if (sep_ && key) {
            body_ += key;
            body_ += ": ";
        }
    }
    char sep_;
    QByteArray body_;
};

// The command table: Hamlib's short and long names. Commands without a
// short name are reached by their long name only (\get_powerstat).
const RemoteServer::Command RemoteServer::Commands[] = {
    {'F', "set_freq", &RemoteServer::SetFreq, false},
    {'f', "get_freq", &RemoteServer::GetFreq, true},
    {'l', "get_level", &RemoteServer::GetLevel, true},
    {'L', "set_level", &RemoteServer::NotAvailable, false},
    {'w', "send_cmd", &RemoteServer::SendRaw, false},
    {0, "send_raw", &RemoteServer::SendRaw, false},
    {0, "dump_state", &RemoteServer::DumpState, true},
    {'1', "dump_caps", &RemoteServer::DumpCaps, false},
    {'_', "get_info", &RemoteServer::GetInfo, true},
    {'R', "reset", &RemoteServer::NotAvailable, false},
    {0, "set_powerstat", &RemoteServer::SetPowerstat, false},
    {0, "get_powerstat", &RemoteServer::GetPowerstat, true},
};

// Accepts with QTcpServer's listening code but hands over the bare
// descriptor of each connection.
class RemoteServer::Listener : public QTcpServer {
public:
    explicit Listener(RemoteServer *owner) : QTcpServer(owner), owner_(owner) {}

protected:
    void incomingConnection(qintptr fd) override { owner_->OnConnection(int(fd)); }

private:
    RemoteServer *owner_;
};

RemoteServer::RemoteServer(RemoteTarget *target, QObject *parent)
    : QObject(parent), target_(target) {
    backlog_.setSingleShot(true);
    backlog_.setInterval(0);
    connect(&backlog_, &QTimer::timeout, this, &RemoteServer::ServeBacklog);
    connect(&idle_, &QTimer::timeout, this, &RemoteServer::DropIdle);
    clock_.start();
}

RemoteServer::~RemoteServer() {
    Stop();
    delete events_;
    if (epoll_ >= 0)
        ::close(epoll_);
}

QString RemoteServer::Start(const RemoteConfig &config) {
    Stop();
    config_ = config;
    mayListenLater_ = false;
    if (config.listen.trimmed().isEmpty())
        return QString();
    ListenAddress where;
    QString error = ParseListen(config.listen, &where);
    if (!error.isEmpty())
        return config.listenFrom + QStringLiteral(": ") + error;
    error = ParseAllow(config.allow, &allow_);
    if (!error.isEmpty())
        return config.allowFrom + QStringLiteral(": ") + error;
    error = UnreachableEntry(where.host, allow_);
    if (!error.isEmpty())
        return config.allowFrom + QStringLiteral(": ") + error;
    if (!ParseIdleTimeout(config.idleTimeout, &idleMs_))
        return QStringLiteral("[Network] IdleTimeout: \"%1\" is not a number of seconds")
            .arg(config.idleTimeout);
    // Checked often enough that a client goes within a half of the time-out
    // after it, and at least once a second.
    idle_.setInterval(int(std::clamp<qint64>(idleMs_ / 2, 10, 1000)));
    if (!where.host.isLoopback() && allow_.isEmpty())
        return QStringLiteral("%1=%2 is not a loopback address; set %3= to the addresses or "
                              "CIDR ranges that may connect")
            .arg(config.listenFrom, config.listen.trimmed(), config.allowFrom);
    if (epoll_ < 0) {
        epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0) {
            mayListenLater_ = true;
            return QStringLiteral("cannot serve clients: no epoll set");
        }
        events_ = new QSocketNotifier(epoll_, QSocketNotifier::Read, this);
        connect(events_, &QSocketNotifier::activated, this, &RemoteServer::OnEvents);
    }
    if (!listener_)
        listener_ = new Listener(this);
    mayListenLater_ = true;
    if (!listener_->listen(where.host, where.port))
        return QStringLiteral("%1=%2: cannot listen there: %3")
            .arg(config.listenFrom, config.listen.trimmed(), listener_->errorString());
    mayListenLater_ = false;
    Q_EMIT Logged(QStringLiteral("listening on %1 port %2")
                      .arg(listener_->serverAddress().toString())
                      .arg(listener_->serverPort()));
    return QString();
}

void RemoteServer::Stop() {
    const QList<int> fds = clients_.keys();
    for (int fd : fds)
        Drop(fd, QStringLiteral("closed: the server stops"));
    backlog_.stop();
    idle_.stop();
    if (listener_ && listener_->isListening()) {
        listener_->close();
        Q_EMIT Logged(QStringLiteral("stopped listening"));
    }
}

bool RemoteServer::IsListening() const {
    return listener_ && listener_->isListening();
}

quint16 RemoteServer::Port() const {
    return listener_ ? listener_->serverPort() : 0;
}

int RemoteServer::ClientCount() const {
    return int(clients_.size());
}

void RemoteServer::OnConnection(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    QHostAddress peer;
    quint16 peerPort = 0;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0) {
        peer.setAddress(reinterpret_cast<const sockaddr *>(&address));
        peerPort = address.ss_family == AF_INET6
                       ? ntohs(reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port)
                       : ntohs(reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
    }
    QString refusal;
    if (peer.isNull() || !PeerAllowed(peer, allow_))
        refusal = QStringLiteral("not in ") + config_.allowFrom;
    // An IPv4 peer of the dual-stack listener by its IPv4 address.
    peer = Unmapped(peer);
    const QString name = QStringLiteral("%1 port %2").arg(peer.toString()).arg(peerPort);
    const bool loopback = peer.isLoopback();
    int remote = 0, fromPeer = 0;
    for (const Client &c : std::as_const(clients_)) {
        remote += c.loopback ? 0 : 1;
        fromPeer += c.peer == peer ? 1 : 0;
    }
    if (refusal.isEmpty())
        refusal = Refusal(loopback, int(clients_.size()), remote, fromPeer);
    if (!refusal.isEmpty()) {
        ::close(fd);
        LogRefusal(name, refusal);
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    epoll_event watch{};
    watch.events = EPOLLIN;
    watch.data.fd = fd;
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &watch) != 0) {
        ::close(fd);
        Q_EMIT Logged(QStringLiteral("refused %1: cannot watch it").arg(name));
        return;
    }
    Client c;
    c.name = name;
    c.peer = peer;
    c.loopback = loopback;
    c.activeAt = clock_.elapsed();
    clients_.insert(fd, c);
    if (idleMs_ > 0 && !idle_.isActive())
        idle_.start();
    Q_EMIT Logged(QStringLiteral("client %1 connected").arg(name));
}

void RemoteServer::LogRefusal(const QString &name, const QString &why) {
    // One line a minute for all refused clients together, whatever number
    // of addresses they come from; the next line says how many more were
    // refused meanwhile.
    constexpr qint64 MinuteMs = 60000;
    const qint64 now = clock_.elapsed();
    if (refusalLoggedAt_ >= 0 && now - refusalLoggedAt_ < MinuteMs) {
        ++refusalsUnlogged_;
        return;
    }
    const qint64 more = refusalsUnlogged_;
    refusalLoggedAt_ = now;
    refusalsUnlogged_ = 0;
    Q_EMIT Logged(more ? QStringLiteral("refused %1: %2 (and %3 more since the last such line)")
                             .arg(name, why)
                             .arg(more)
                       : QStringLiteral("refused %1: %2").arg(name, why));
}

void RemoteServer::OnEvents() {
    // One look a pass: a client that stays ready is served again in the
    // next pass, after the others' events and the timers.
    epoll_event ready[MaxClients * 2];
    const int n = ::epoll_wait(epoll_, ready, int(std::size(ready)), 0);
    for (int i = 0; i < n; ++i) {
        // An earlier client's command may have closed this one.
        const int fd = ready[i].data.fd;
        if ((ready[i].events & EPOLLOUT) && clients_.contains(fd))
            OnWritable(fd);
        if ((ready[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) && clients_.contains(fd))
            Serve(fd, true);
    }
}

void RemoteServer::ServeBacklog() {
    const QList<int> fds = clients_.keys();
    for (int fd : fds) {
        const auto it = clients_.constFind(fd);
        if (it != clients_.cend() && it->in.contains('\n'))
            Serve(fd, false);
    }
}

void RemoteServer::DropIdle() {
    const qint64 now = clock_.elapsed();
    const QList<int> fds = clients_.keys();
    for (int fd : fds) {
        const auto it = clients_.constFind(fd);
        if (it != clients_.cend() && now - it->activeAt >= idleMs_)
            Drop(fd, QStringLiteral("closed: no command for %1 s")
                         .arg(QString::number(double(idleMs_) / 1000)));
    }
    if (clients_.isEmpty())
        idle_.stop();
}

void RemoteServer::WatchWrites(int fd, Client &c, bool on) {
    if (c.writing == on)
        return;
    c.writing = on;
    epoll_event watch{};
    watch.events = EPOLLIN | (on ? EPOLLOUT : 0u);
    watch.data.fd = fd;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &watch);
}

// One client's turn: at most one read, and only when no whole line is left
// from its last turn, so what it sent but has not had answered stays within
// one chunk; then at most LinesPerTurn lines, answered in one send.
void RemoteServer::Serve(int fd, bool readable) {
    auto it = clients_.find(fd);
    if (it == clients_.end())
        return;
    if (readable && !it->gone && !it->in.contains('\n')) {
        char chunk[ReadChunk];
        ssize_t n = 0;
        do
            n = ::recv(fd, chunk, sizeof chunk, 0);
        while (n < 0 && errno == EINTR);
        if (n > 0) {
            it->in.append(chunk, n);
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // A last line without its newline before the client stopped
            // sending is answered, as ampctld answers it, when it only asks:
            // a change cut short ("F 1425" of "F 14250000") is never made.
            if (n == 0 && !it->skipping && OnlyAsks(it->in))
                it->in.append('\n');
            it->gone = true;
        }
    }
    qsizetype done = 0;
    for (int lines = 0; lines < LinesPerTurn; ++lines) {
        const qsizetype nl = it->in.indexOf('\n', done);
        if (nl < 0)
            break;
        QByteArray line = it->in.mid(done, nl - done);
        done = nl + 1;
        it->activeAt = clock_.elapsed();
        if (it->skipping) {
            it->skipping = false; // the end of a line already answered as too long
            continue;
        }
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > MaxLineBytes || IsBinaryLine(line)) {
            it->out += Rprt(RigEInval);
            continue;
        }
        bool quit = false;
        const QByteArray reply = Execute(line, it->name, &quit);
        // A command's effects may have closed the client.
        it = clients_.find(fd);
        if (it == clients_.end())
            return;
        if (quit) {
            OnWritable(fd); // the answers before it
            Drop(fd, QStringLiteral("quit"));
            return;
        }
        it->out += reply;
    }
    Client &c = *it;
    c.in.remove(0, done);
    const bool more = c.in.contains('\n');
    if (!more) {
        // One more byte than the limit: the CR before the newline.
        if (c.skipping) {
            c.in.clear();
        } else if (c.in.size() > MaxLineBytes + 1) {
            c.in.clear();
            c.skipping = true;
            c.out += Rprt(RigEInval);
        }
    }
    // What a client sent whole before it left is carried out.
    const bool finished = c.gone && !more;
    if (!c.out.isEmpty())
        OnWritable(fd);
    if (!clients_.contains(fd))
        return;
    if (finished)
        Drop(fd, QStringLiteral("disconnected"));
    else if (more)
        backlog_.start();
}

void RemoteServer::OnWritable(int fd) {
    const auto it = clients_.find(fd);
    if (it == clients_.end())
        return;
    Client &c = *it;
    while (!c.out.isEmpty()) {
        const ssize_t n = ::send(fd, c.out.constData(), size_t(c.out.size()), MSG_NOSIGNAL);
        if (n > 0) {
            c.out.remove(0, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            Drop(fd, QStringLiteral("disconnected"));
            return;
        }
    }
    if (c.out.size() > MaxBacklog) {
        Drop(fd, QStringLiteral("closed: it does not read its answers"));
        return;
    }
    WatchWrites(fd, c, !c.out.isEmpty());
}

void RemoteServer::Drop(int fd, const QString &why) {
    const auto it = clients_.find(fd);
    if (it == clients_.end())
        return;
    const Client c = *it;
    clients_.erase(it);
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    Q_EMIT Logged(QStringLiteral("client %1 %2").arg(c.name, why));
}

bool RemoteServer::OnlyAsks(QByteArray line) {
    if (line.endsWith('\r'))
        line.chop(1);
    CommandLine c;
    QList<QByteArray> args;
    const Command *command =
        line.size() <= MaxLineBytes && !IsBinaryLine(line) && ParseCommandLine(line, &c)
            ? FindCommand(c, &args)
            : nullptr;
    return command && command->hasOutput;
}

const RemoteServer::Command *RemoteServer::FindCommand(const CommandLine &c,
                                                       QList<QByteArray> *args) {
    *args = c.args;
    if (c.word.isEmpty())
        return nullptr;
    if (!c.longName && c.word.size() == 1) {
        for (const Command &cmd : Commands)
            if (cmd.shortName && cmd.shortName == c.word.at(0))
                return &cmd;
        return nullptr;
    }
    for (const Command &cmd : Commands)
        if (c.word == cmd.longName)
            return &cmd;
    if (c.longName)
        return nullptr;
    // A short command written together with its argument ("F14250000").
    for (const Command &cmd : Commands)
        if (cmd.shortName && cmd.shortName == c.word.at(0)) {
            args->prepend(c.word.mid(1));
            return &cmd;
        }
    return nullptr;
}

QByteArray RemoteServer::Execute(const QByteArray &line, const QString &client, bool *quit) {
    CommandLine c;
    if (!ParseCommandLine(line, &c))
        return QByteArray();
    if (!c.longName && (c.word == "q" || c.word == "Q")) {
        *quit = true;
        return QByteArray();
    }
    QList<QByteArray> args;
    const Command *cmd = FindCommand(c, &args);
    c.args = args;
    Reply reply(c.separator);
    const int code = cmd ? (this->*(cmd->handler))(c, reply, client) : int(RigENimpl);
    if (c.separator) {
        // Extended forms: the command echoed with its arguments, the values
        // as "key: value", the result; each record ends with the separator
        // except the last, which ends the answer with a newline.
        QByteArray out = cmd ? QByteArray(cmd->longName) : c.word;
        out += ':';
        if (cmd && cmd->handler == &RemoteServer::SendRaw)
            out += ' ' + c.rest;
        else
            for (const QByteArray &a : c.args)
                out += ' ' + a;
        out += c.separator;
        if (code == RigOk)
            out += reply.Body();
        return out + Rprt(code);
    }
    if (code != RigOk)
        return Rprt(code);
    return cmd->hasOutput ? reply.Body() : reply.Body() + Rprt(RigOk);
}

int RemoteServer::RequestChange(::Command::Kind kind, int value, const QByteArray &text,
                                const QString &client) {
    // The link's gate orders, spaces and checks every change; a request
    // that has to wait for its turn is accepted now.
    ::Command command;
    command.kind = kind;
    command.value = value;
    command.line = text;
    // The client as the link's logs name a source: "127.0.0.1:40122", "[::1]:40122".
    const QString host = client.section(QStringLiteral(" port "), 0, 0);
    const QString port = client.section(QStringLiteral(" port "), 1);
    command.source =
        CommandSource::Of(CommandSource::Kind::Server,
                          port.isEmpty() ? client
                                         : (host.contains(QLatin1Char(':'))
                                                ? QLatin1Char('[') + host + QLatin1Char(']')
                                                : host) +
                                               QLatin1Char(':') + port);
    const CommandOutcome outcome = target_->Submit(command);
    switch (outcome.result) {
    case CommandOutcome::Result::Sent:
    case CommandOutcome::Result::Unchanged:
    case CommandOutcome::Result::Waiting:
    case CommandOutcome::Result::Replaced:
        return RigOk;
    case CommandOutcome::Result::Refused:
        return kind == ::Command::Kind::Line && target_->Snapshot().connected ? RigBusBusy
                                                                              : RigERjcted;
    case CommandOutcome::Result::Failed:
        return RigEIO;
    }
    return RigERjcted;
}

int RemoteServer::GetFreq(const CommandLine &c, Reply &r, const QString &) {
    if (!c.args.isEmpty())
        return RigEInval;
    // Not connected: "not available", as it always answered; connected but
    // silent: the time-out of every other reading.
    const AmpSnapshot s = target_->Snapshot();
    if (!s.connected)
        return RigENavail;
    if (const int error = NotLive(s))
        return error;
    // The radio's own frequency while the amplifier follows it; else the
    // lower edge of the amplifier's band.
    if (s.rigFrequencyHz) {
        r.Value("Frequency(Hz)", QByteArray::number(*s.rigFrequencyHz));
        return RigOk;
    }
    if (BandLowerEdge(s.band) == 0)
        return RigENavail;
    r.Value("Frequency(Hz)", QByteArray::number(BandLowerEdge(s.band)));
    return RigOk;
}

int RemoteServer::SetFreq(const CommandLine &c, Reply &, const QString &client) {
    if (c.args.size() != 1)
        return RigEInval;
    bool ok = false;
    const double hz = c.args.at(0).toDouble(&ok);
    if (!ok || !std::isfinite(hz) || hz <= 0)
        return RigEInval;
    const AmpSnapshot s = target_->Snapshot();
    const int band = BandForFrequency(hz);
    if (!s.connected || !s.manualBands || band == 0)
        return RigERjcted;
    return RequestChange(::Command::Kind::Band, band, QByteArray(), client);
}

int RemoteServer::GetLevel(const CommandLine &c, Reply &r, const QString &) {
    if (c.args.size() != 1)
        return RigEInval;
    const QByteArray level = c.args.at(0).toUpper();
    if (level == "?") {
        r.Line(nullptr, LevelList);
        return RigOk;
    }
    if (level == "NH" || level == "PF" || level == "PWRINPUT")
        return RigENavail; // Hamlib amplifier levels this amplifier does not report
    if (level != "SWR" && level != "PWRFORWARD" && level != "PWRREFLECTED" && level != "PWRPEAK" &&
        level != "FAULT")
        return RigEInval;
    const AmpSnapshot s = target_->Snapshot();
    if (const int error = NotLive(s))
        return error;
    // A number the amplifier has not told (not known, or not current) is
    // not made up: every level answers RPRT -11 for it.
    std::optional<QByteArray> value;
    const auto watts = [](const std::optional<double> &w) -> std::optional<QByteArray> {
        if (!w)
            return std::nullopt;
        return QByteArray::number(qRound64(*w));
    };
    if (level == "SWR") {
        // Hamlib's clients read a number: a matched antenna's 1 while the
        // amplifier is known to receive.
        if (s.swr)
            value = QByteArray::number(*s.swr, 'f', 6);
        else if (s.receiving.value_or(false))
            value = QByteArray::number(1.0, 'f', 6);
    } else if (level == "PWRFORWARD") {
        value = watts(s.forwardW);
    } else if (level == "PWRREFLECTED") {
        value = watts(s.reflectedW);
    } else if (level == "PWRPEAK") {
        value = watts(s.peakW);
    } else if (s.alarm) {
        value = s.alarm->isEmpty() ? QByteArray("None") : *s.alarm;
    }
    if (!value)
        return RigENavail;
    r.Line(nullptr, *value);
    return RigOk;
}

int RemoteServer::NotAvailable(const CommandLine &, Reply &, const QString &) {
    return RigENavail;
}

int RemoteServer::SendRaw(const CommandLine &c, Reply &, const QString &client) {
    if (!config_.allowRaw)
        return RigENavail;
    if (c.rest.trimmed().isEmpty())
        return RigEInval;
    if (!target_->Snapshot().connected)
        return RigERjcted;
    return RequestChange(::Command::Kind::Line, 0, c.rest, client);
}

int RemoteServer::DumpState(const CommandLine &, Reply &r, const QString &) {
    // The protocol version; the model only in the extended forms, as
    // ampctld 4.5 answers, so that a client reading one line reads all.
    r.Value("ampctld Protocol Ver", "0");
    if (r.Extended())
        r.Line("Amplifier Model", ModelName);
    return RigOk;
}

int RemoteServer::DumpCaps(const CommandLine &, Reply &r, const QString &) {
    r.Line(nullptr, QByteArray("Model name:\t") + ModelName);
    r.Line(nullptr, "Amp type:\tOther");
    r.Line(nullptr, "Port type:\tNetwork");
    r.Line(nullptr, QByteArray("Get level: ") + LevelList);
    r.Line(nullptr, "Set level: ");
    r.Line(nullptr, "Can set Frequency:\tY");
    r.Line(nullptr, "Can get Frequency:\tY");
    r.Line(nullptr, "Can set Power Status:\tY");
    r.Line(nullptr, "Can get Power Status:\tY");
    r.Line(nullptr, "Can Reset:\tN");
    r.Line(nullptr, "Can get Info:\tY");
    r.Line(nullptr, config_.allowRaw ? "Can send raw commands:\tY" : "Can send raw commands:\tN");
    return RigOk;
}

int RemoteServer::GetInfo(const CommandLine &, Reply &r, const QString &) {
    const AmpSnapshot s = target_->Snapshot();
    r.Value("Info", s.info.isEmpty() ? QByteArray(ModelName) : s.info);
    return RigOk;
}

int RemoteServer::GetPowerstat(const CommandLine &c, Reply &r, const QString &) {
    if (!c.args.isEmpty())
        return RigEInval;
    const AmpSnapshot s = target_->Snapshot();
    // An amplifier that is not connected or does not answer counts as off;
    // a PTT block it has not confirmed on this connection is unknown.
    const int stat = s.liveness != Liveness::Live ? PowerOff
                     : !s.pttBlocked              ? PowerUnknown
                     : *s.pttBlocked              ? PowerStandby
                                                  : PowerOperate;
    r.Line("Power Status", QByteArray::number(stat));
    return RigOk;
}

int RemoteServer::SetPowerstat(const CommandLine &c, Reply &, const QString &client) {
    if (c.args.size() != 1)
        return RigEInval;
    bool ok = false;
    const int stat = c.args.at(0).toInt(&ok);
    if (!ok)
        return RigEInval;
    if (stat == PowerOff || stat == PowerOn)
        return RigENavail; // the amplifier's mains switch is not on the line
    if (stat != PowerStandby && stat != PowerOperate)
        return RigEInval;
    if (!target_->Snapshot().connected)
        return RigERjcted;
    return RequestChange(::Command::Kind::PttBlock, stat == PowerStandby ? 1 : 0, QByteArray(),
                         client);
}

} // namespace remote
