#include "remote/RemoteServer.h"

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

QByteArray Rprt(int code) {
    return "RPRT " + QByteArray::number(code) + '\n';
}

} // namespace

// The records of one answer: in the default protocol each value on its own
// line; in the extended forms "key: value" followed by the separator.
class RemoteServer::Reply {
public:
    explicit Reply(char separator) : sep_(separator) {}
    void Value(const char *key, const QByteArray &value) {
        if (sep_) {
            body_ += key;
            body_ += ": ";
        }
        Record(value);
    }
    void Record(const QByteArray &text) {
        body_ += text;
        body_ += sep_ ? sep_ : '\n';
    }
    const QByteArray &Body() const { return body_; }

private:
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
    for (int k = 0; k < KindCount; ++k) {
        holdoff_[k].setSingleShot(true);
        connect(&holdoff_[k], &QTimer::timeout, this, [this, k] { ApplyWaiting(Kind(k)); });
    }
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
    if (config.listen.trimmed().isEmpty())
        return QString();
    ListenAddress where;
    QString error = ParseListen(config.listen, &where);
    if (!error.isEmpty())
        return QStringLiteral("[Network] Listen: ") + error;
    error = ParseAllow(config.allow, &allow_);
    if (!error.isEmpty())
        return QStringLiteral("[Network] Allow: ") + error;
    loopbackListen_ = where.host.isLoopback();
    if (!loopbackListen_ && allow_.isEmpty())
        return QStringLiteral("[Network] Listen=%1 is not a loopback address; set [Network] "
                              "Allow= to the addresses or CIDR ranges that may connect")
            .arg(config.listen.trimmed());
    if (epoll_ < 0) {
        epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0)
            return QStringLiteral("cannot serve clients: no epoll set");
        events_ = new QSocketNotifier(epoll_, QSocketNotifier::Read, this);
        connect(events_, &QSocketNotifier::activated, this, &RemoteServer::OnEvents);
    }
    if (!listener_)
        listener_ = new Listener(this);
    if (!listener_->listen(where.host, where.port))
        return QStringLiteral("cannot listen on %1: %2")
            .arg(config.listen.trimmed(), listener_->errorString());
    for (QTimer &t : holdoff_)
        t.setInterval(std::max(0, config.holdoffMs));
    Q_EMIT Logged(QStringLiteral("listening on %1 port %2")
                      .arg(listener_->serverAddress().toString())
                      .arg(listener_->serverPort()));
    return QString();
}

void RemoteServer::Stop() {
    const QList<int> fds = clients_.keys();
    for (int fd : fds)
        Drop(fd, QStringLiteral("closed: the server stops"));
    for (int k = 0; k < KindCount; ++k) {
        holdoff_[k].stop();
        slots_[k] = Slot();
    }
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
    const QString name = QStringLiteral("%1 port %2").arg(peer.toString()).arg(peerPort);
    QString refusal;
    if (peer.isNull() || !PeerAllowed(peer, allow_, loopbackListen_))
        refusal = QStringLiteral("not in [Network] Allow");
    else if (clients_.size() >= MaxClients)
        refusal = QStringLiteral("%1 clients already connected").arg(MaxClients);
    if (!refusal.isEmpty()) {
        ::close(fd);
        Q_EMIT Logged(QStringLiteral("refused %1: %2").arg(name, refusal));
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
    clients_.insert(fd, c);
    Q_EMIT Logged(QStringLiteral("client %1 connected").arg(name));
}

void RemoteServer::OnEvents() {
    epoll_event ready[64];
    for (;;) {
        const int n = ::epoll_wait(epoll_, ready, 64, 0);
        for (int i = 0; i < n; ++i) {
            // An earlier client's command may have closed this one.
            const int fd = ready[i].data.fd;
            if ((ready[i].events & EPOLLOUT) && clients_.contains(fd))
                OnWritable(fd);
            if ((ready[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) && clients_.contains(fd))
                OnReadable(fd);
        }
        if (n < int(std::size(ready)))
            return;
    }
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

void RemoteServer::OnReadable(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end())
        return;
    char chunk[4096];
    bool gone = false;
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            it->in.append(chunk, n);
            if (n < ssize_t(sizeof chunk))
                break;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            gone = !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
            break;
        }
    }
    for (;;) {
        // A command may close the client, so look it up for every line.
        it = clients_.find(fd);
        if (it == clients_.end())
            return;
        Client &c = *it;
        const qsizetype nl = c.in.indexOf('\n');
        if (nl < 0) {
            // What a client sent whole before it left is still carried out;
            // an unfinished line is not.
            if (gone) {
                Drop(fd, QStringLiteral("disconnected"));
                return;
            }
            // One more byte than the limit: the CR before the newline.
            if (c.skipping) {
                c.in.clear();
            } else if (c.in.size() > MaxLineBytes + 1) {
                c.in.clear();
                c.skipping = true;
                Answer(fd, Rprt(RigEInval));
            }
            return;
        }
        QByteArray line = c.in.left(nl);
        c.in.remove(0, nl + 1);
        if (c.skipping) {
            c.skipping = false; // the end of a line already answered as too long
            continue;
        }
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > MaxLineBytes || IsBinaryLine(line)) {
            Answer(fd, Rprt(RigEInval));
            continue;
        }
        bool quit = false;
        const QByteArray reply = Execute(line, c.name, &quit);
        if (quit) {
            Drop(fd, QStringLiteral("quit"));
            return;
        }
        if (!reply.isEmpty())
            Answer(fd, reply);
    }
}

void RemoteServer::Answer(int fd, const QByteArray &reply) {
    const auto it = clients_.find(fd);
    if (it == clients_.end())
        return;
    it->out += reply;
    OnWritable(fd);
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

int RemoteServer::RequestChange(Kind kind, int value, const QByteArray &text,
                                const QString &client) {
    Slot &slot = slots_[kind];
    if (holdoff_[kind].isActive()) {
        // The latest request of its kind waits for the hold-off; a raw line
        // is not overwritten, it is refused while another one waits.
        if (kind == KindRaw && slot.waiting)
            return RigBusBusy;
        slot.waiting = true;
        slot.value = value;
        slot.text = text;
        slot.client = client;
        return RigOk;
    }
    Slot now;
    now.value = value;
    now.text = text;
    now.client = client;
    const AmpSnapshot s = target_->Snapshot();
    if (kind == KindBand && value == s.band)
        return RigOk;
    if (kind == KindPtt && value == (s.pttPending >= 0 ? s.pttPending : int(s.pttBlocked)))
        return RigOk;
    ApplyChange(kind, now);
    holdoff_[kind].start();
    return RigOk;
}

void RemoteServer::ApplyPending() {
    for (int k = 0; k < KindCount; ++k)
        ApplyWaiting(Kind(k));
}

void RemoteServer::ApplyWaiting(Kind kind) {
    Slot &slot = slots_[kind];
    if (!slot.waiting)
        return;
    const Slot s = slot;
    slot = Slot();
    // Still valid? The amplifier may have gone or changed meanwhile.
    const AmpSnapshot snap = target_->Snapshot();
    if (!snap.connected)
        return;
    if (kind == KindBand && (!snap.manualBands || s.value == snap.band))
        return;
    if (kind == KindPtt &&
        s.value == (snap.pttPending >= 0 ? snap.pttPending : int(snap.pttBlocked)))
        return;
    ApplyChange(kind, s);
    holdoff_[kind].start();
}

void RemoteServer::ApplyChange(Kind kind, const Slot &slot) {
    switch (kind) {
    case KindBand:
        Q_EMIT Logged(QStringLiteral("client %1 selects band %2").arg(slot.client).arg(slot.value));
        target_->SelectBand(slot.value);
        break;
    case KindPtt:
        Q_EMIT Logged(QStringLiteral("client %1 %2 the PTT")
                          .arg(slot.client,
                               slot.value ? QStringLiteral("blocks") : QStringLiteral("releases")));
        target_->SetPttBlocked(slot.value != 0);
        break;
    case KindRaw:
        Q_EMIT Logged(QStringLiteral("client %1 sends \"%2\"")
                          .arg(slot.client, QString::fromLatin1(slot.text)));
        target_->SendLine(slot.text);
        break;
    case KindCount:
        break;
    }
}

int RemoteServer::GetFreq(const CommandLine &c, Reply &r, const QString &) {
    if (!c.args.isEmpty())
        return RigEInval;
    const AmpSnapshot s = target_->Snapshot();
    if (!s.connected || BandLowerEdge(s.band) == 0)
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
    return RequestChange(KindBand, band, QByteArray(), client);
}

int RemoteServer::GetLevel(const CommandLine &c, Reply &r, const QString &) {
    if (c.args.size() != 1)
        return RigEInval;
    const QByteArray level = c.args.at(0).toUpper();
    const AmpSnapshot s = target_->Snapshot();
    if (level == "?")
        r.Record(LevelList);
    else if (level == "SWR")
        r.Value("Level Value",
                QByteArray::number(
                    s.tunerSwr > 0 ? s.tunerSwr : SwrFromPower(s.forwardW, s.reflectedW), 'f', 6));
    else if (level == "PWRFORWARD")
        r.Value("Level Value", QByteArray::number(qRound64(s.forwardW)));
    else if (level == "PWRREFLECTED")
        r.Value("Level Value", QByteArray::number(qRound64(s.reflectedW)));
    else if (level == "PWRPEAK")
        r.Value("Level Value", QByteArray::number(qRound64(s.peakW)));
    else if (level == "FAULT")
        r.Value("Level Value", s.alarm.isEmpty() ? QByteArray("None") : s.alarm);
    else if (level == "NH" || level == "PF" || level == "PWRINPUT")
        return RigENavail; // Hamlib amplifier levels this amplifier does not report
    else
        return RigEInval;
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
    return RequestChange(KindRaw, 0, c.rest, client);
}

int RemoteServer::DumpState(const CommandLine &, Reply &r, const QString &) {
    // Hamlib's NET ampctl backend reads the protocol version and then the
    // model on the next line.
    r.Value("ampctld Protocol Ver", "0");
    r.Value("Amplifier Model", ModelName);
    return RigOk;
}

int RemoteServer::DumpCaps(const CommandLine &, Reply &r, const QString &) {
    r.Record(QByteArray("Model name:\t") + ModelName);
    r.Record("Amp type:\tOther");
    r.Record("Port type:\tNetwork");
    r.Record(QByteArray("Get level: ") + LevelList);
    r.Record("Set level: ");
    r.Record("Can set Frequency:\tY");
    r.Record("Can get Frequency:\tY");
    r.Record("Can set Power Status:\tY");
    r.Record("Can get Power Status:\tY");
    r.Record("Can Reset:\tN");
    r.Record("Can get Info:\tY");
    r.Record(config_.allowRaw ? "Can send raw commands:\tY" : "Can send raw commands:\tN");
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
    const int stat = !s.connected ? PowerOff : s.pttBlocked ? PowerStandby : PowerOperate;
    r.Value("Power Status", QByteArray::number(stat));
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
    return RequestChange(KindPtt, stat == PowerStandby ? 1 : 0, QByteArray(), client);
}

} // namespace remote
