// SPDX-License-Identifier: GPL-3.0-or-later
// The amplifier link: the port's events and the timers, carried out as the
// connection, the poller and the gate decide. Every line sent goes through
// Send, which writes first and logs the echo second.
#include "link/AmpLink.h"

#include "link/Facts.h"
#include "link/Forgetting.h"
#include "link/Reports.h"
#include "serial/SerialPort.h"
#include "serial/Transport.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <exception>

AmpLink::AmpLink(QObject *parent) : QObject(parent) {
    setObjectName(QStringLiteral("AmpLink"));
    port = new TSerialPort(this);
    port->setObjectName(QStringLiteral("SerialPort"));
    port->OnReceive = [this](TSerialPort *, const QByteArray &chunk) {
        Guarded([&] { ReceiveChunk(chunk); });
    };
    port->OnDisconnect = [this](TSerialPort *, TCommPort) {
        Guarded([this] { PortDisconnected(); });
    };

    auto makeTimer = [this](const char *name, void (AmpLink::*tick)()) {
        auto *t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(1000);
        connect(t, &QTimer::timeout, this,
                [this, tick] { Guarded([this, tick] { (this->*tick)(); }); });
        return t;
    };
    handshakeTimer = makeTimer("Timer1", &AmpLink::HandshakeTick);
    pollTimer = makeTimer("Timer2", &AmpLink::PollTick);
    atuTimer = makeTimer("AtuTimer", &AmpLink::AtuTick);
    reconnectTimer = makeTimer("ReconnectTimer", &AmpLink::ReconnectTick);
    reconnectTimer->setInterval(ReconnectIntervalMs);
    livenessTimer = makeTimer("LivenessTimer", &AmpLink::LivenessTick);
    gateTimer = makeTimer("GateTimer", &AmpLink::GateTick);
    burstTimer = makeTimer("BurstTimer", &AmpLink::BurstTick);
    reportsTimer = makeTimer("ReportsTimer", &AmpLink::ReportsStoppedTick);
    reportsTimer->setSingleShot(true);
    burstTimer->setSingleShot(true);
    gateTimer->setSingleShot(true);
    // The poll timer runs from the start and idles until the amplifier is
    // connected; no window starts or stops the link's timers.
    pollTimer->start();
    SetClock(nullptr);
}

void AmpLink::SetClock(Clock c) {
    if (!c) {
        auto monotonic = std::make_shared<QElapsedTimer>();
        monotonic->start();
        c = [monotonic] { return monotonic->elapsed(); };
    }
    clock = std::move(c);
    answers.Heard(clock());
}

AmpLink::~AmpLink() {
    Shutdown();
}

void AmpLink::Guarded(const std::function<void()> &handler) {
    if (guard) {
        guard(handler);
        return;
    }
    try {
        handler();
    } catch (const ESerialPortLost &) {
        // The port went during a send: its disconnect has dealt with that.
    } catch (const ESerialPortException &e) {
        TellMessage(e.Message(), QStringLiteral("Orvik Remote Control"));
    } catch (const std::exception &e) {
        TellMessage(QString::fromLocal8Bit(e.what()), QStringLiteral("Orvik Remote Control"));
    }
}

void AmpLink::Changed(unsigned what) {
    if (what)
        Q_EMIT StateChanged(state, what);
}

void AmpLink::SetPhase(LinkPhase phase) {
    const AmpStatus before = state;
    state.Phase = phase;
    if (phase == LinkPhase::Connected)
        state.PortLost = false;
    unsigned changed = StateChange::Connection;
    if (phase != LinkPhase::Connected && state.NoAnswer) {
        state.NoAnswer = false;
        changed |= StateChange::NoAnswer;
    }
    // A new connection: nothing of before is of it.
    if (phase == LinkPhase::Connecting && before.Phase != LinkPhase::Connecting) {
        changed |= Forgetting::Apply(Forgetting::Rule::NewConnection, state, clock());
        connectingFrom = before.Liveness();
    }
    if (phase == LinkPhase::Connected && before.Phase != LinkPhase::Connected) {
        changed |= Forgetting::Apply(Forgetting::Rule::Identified, state, clock());
        answersSince = clock();
    }
    TellChanges(before);
    Changed(changed);
    if (phase != before.Phase) {
        LinkEvent e;
        e.left = phase == LinkPhase::Connected ? connectingFrom : before.Liveness();
        switch (phase) {
        case LinkPhase::Connecting:
            e.kind = before.Phase == LinkPhase::Waiting ? LinkEvent::Kind::Back
                                                        : LinkEvent::Kind::Opened;
            break;
        case LinkPhase::Connected:
            e.kind = LinkEvent::Kind::Identified;
            break;
        case LinkPhase::Waiting:
            e.kind = state.PortLost ? LinkEvent::Kind::Lost : LinkEvent::Kind::Waiting;
            break;
        case LinkPhase::Closed:
        case LinkPhase::Start:
            e.kind = LinkEvent::Kind::Closed;
            break;
        }
        Tell(e);
    }
    Q_EMIT ConnectionChanged(phase);
}

void AmpLink::SetNoAnswer(bool on) {
    if (state.NoAnswer == on)
        return;
    const AmpStatus before = state;
    state.NoAnswer = on;
    // Power, transmitting and the tuner's readings of before the silence
    // may have changed in it unseen; an alarm holds until "ALARM: OFF".
    const unsigned forgotten =
        on ? Forgetting::Apply(Forgetting::Rule::Silence, state, clock()) : 0u;
    if (!on)
        answersSince = clock();
    TellChanges(before);
    LinkEvent e;
    e.left = before.Liveness();
    e.kind = on ? LinkEvent::Kind::NoAnswer : LinkEvent::Kind::AnswersAgain;
    Tell(e);
    Log((on ? QStringLiteral("****** No answer from the amplifier on %1")
            : QStringLiteral("****** The amplifier on %1 answers again"))
            .arg(state.PortName));
    Changed(StateChange::NoAnswer | forgotten);
    // What it did not answer before the silence is asked again.
    if (!on && state.IsConnected())
        SendStartupBurst();
}

void AmpLink::TellMessage(const QString &text, const QString &title, LinkEvent::Icon icon,
                          bool portGone) {
    LinkEvent e;
    e.kind = LinkEvent::Kind::Message;
    e.text = text;
    e.title = title;
    e.icon = icon;
    e.portGone = portGone;
    Tell(e);
}

// ---- Sending ---------------------------------------------------------------

void AmpLink::Send(const QByteArray &command, Protocol::Echo echo, TSendKind kind) {
    const bool taken = port->SendString(Protocol::Frame(command), kind) > 0;
    NoteDroppedRepeats();
    if (taken)
        Log(Protocol::SentEcho(command, echo));
}

bool AmpLink::SendTypedLine(const QByteArray &line, const CommandSource &source) {
    Command c;
    c.kind = Command::Kind::Line;
    c.line = line;
    c.source = source;
    if (Submit(c).result == CommandOutcome::Result::Failed)
        return false;
    if (line == Protocol::ServiceKeyword)
        RevealServiceReadings();
    return true;
}

void AmpLink::RevealServiceReadings() {
    Q_EMIT ServiceReadingsAsked();
}

void AmpLink::SendOnly(const QByteArray &command, TSendKind kind) {
    port->SendString(Protocol::Frame(command), kind);
    NoteDroppedRepeats();
}

void AmpLink::NoteDroppedRepeats() {
    const int dropped = port->DroppedRepeats();
    if (dropped < droppedSeen || port->QueuedOutput() == 0)
        stallNoted = false; // a new connection, or the port takes data again
    if (dropped > droppedSeen && !stallNoted) {
        stallNoted = true;
        Log(QStringLiteral("****** %1 takes no data: polls waiting to go are dropped")
                .arg(state.PortName));
    }
    droppedSeen = dropped;
}

void AmpLink::Log(const QString &entry) {
    Q_EMIT EntryLogged(entry);
}

// ---- The connection ------------------------------------------------------------

QString AmpLink::OpenPort(const QString &portName) {
    state.PortName = portName;
    // A line left unfinished by the last connection must not be glued to
    // the first line of this one.
    framer.Reset();
    const QString failure = Connection::Open(*port, portName);
    if (failure.isEmpty())
        closing = Closing::No;
    return failure;
}

void AmpLink::StartHandshake() {
    connection.HandshakeBegan(clock());
    Send(Protocol::Identify);
    state.ConnectTicks = 0;
    handshakeTimer->start();
    pollTimer->start();
    livenessTimer->start();
    SetPhase(LinkPhase::Connecting);
}

void AmpLink::StopConnectionTimers() {
    burstTimer->stop();
    burst.Stop();
    handshakeTimer->stop();
    pollTimer->stop();
    livenessTimer->stop();
}

QString AmpLink::Open(const QString &portName) {
    const QString failure = OpenPort(portName);
    if (!failure.isEmpty())
        return failure;
    reconnectTimer->stop();
    reopened = false;
    NotTaken();
    StartHandshake();
    return QString();
}

void AmpLink::Close() {
    StopConnectionTimers();
    reconnectTimer->stop();
    reopened = false;
    NotTaken();
    state.ConnectTicks = 0;
    SetPhase(LinkPhase::Closed);
    closing = Closing::ByOperator;
    port->Close();
}

void AmpLink::ClosePort() {
    reconnectTimer->stop();
    closing = Closing::ByOperator;
    port->Close();
}

void AmpLink::Shutdown() {
    port->OnReceive = nullptr;
    port->OnDisconnect = nullptr;
    closing = Closing::ByOperator;
    port->Close();
    StopConnectionTimers();
    atuTimer->stop();
    reconnectTimer->stop();
}

void AmpLink::SetAutoReconnect(bool on) {
    autoReconnect = on;
    if (!on && state.IsWaiting()) {
        // Nothing to wait for any more: the port stays closed.
        reconnectTimer->stop();
        SetPhase(LinkPhase::Closed);
    }
}

void AmpLink::WaitForPort(const QString &portName) {
    state.PortName = portName;
    state.PortLost = false;
    EnterWaiting(QStringLiteral("****** Waiting for port: ") + portName);
}

void AmpLink::EnterWaiting(const QString &entry) {
    StopConnectionTimers();
    state.ConnectTicks = 0;
    connection.ForgetReason();
    Log(entry);
    SetPhase(LinkPhase::Waiting);
    reconnectTimer->start();
}

void AmpLink::NotTaken() {
    connection.NotTaken();
    if (!state.PortTaken)
        return;
    state.PortTaken = false;
    Changed(StateChange::Connection);
}

void AmpLink::ReconnectTick() {
    if (!state.IsWaiting()) {
        reconnectTimer->stop();
        return;
    }
    // A port another client keeps taking is left to it for a while.
    if (state.PortTaken && !connection.MayRetry(clock()))
        return;
    // A port that is still missing stays quiet: one entry per loss, not one a
    // second; its reason is told when it changes. A network port's open lets
    // the event loop run, so no second attempt starts inside it.
    reconnectTimer->stop();
    const QString failure = OpenPort(state.PortName);
    if (!failure.isEmpty()) {
        if (state.IsWaiting())
            reconnectTimer->start();
        const QString reason =
            Connection::WaitReason(port->LastOpenError(), failure, state.PortName);
        if (connection.NewReason(reason))
            Q_EMIT PortWaitReason(reason);
        return;
    }
    reopened = true;
    Log(QStringLiteral("****** Port back: ") + state.PortName);
    StartHandshake();
}

void AmpLink::HandshakeTick() {
    ++state.ConnectTicks;
    if (state.IsConnecting())
        Send(Protocol::Identify, Protocol::Echo::Plain, skRepeat);
    if (state.ConnectTicks > HandshakeTicks) {
        handshakeTimer->stop();
        state.ConnectTicks = 0;
        if (reopened && autoReconnect) {
            // The device is back but the amplifier does not answer (yet):
            // close it and keep trying, as nobody is there to read a message.
            closing = Closing::ToRetry;
            port->Close();
            EnterWaiting(
                QStringLiteral("****** PA not found on %1, waiting for it").arg(state.PortName));
            return;
        }
        Close();
        TellMessage(QStringLiteral("Sorry, PA not found on ") + state.PortName,
                    QStringLiteral("Error"));
    }
}

void AmpLink::PortDisconnected() {
    StopConnectionTimers();
    if (closing == Closing::ToRetry || state.IsWaiting())
        return; // already waiting for the port
    if (autoReconnect && closing == Closing::No) {
        port->Close();
        state.PortLost = true;
        const std::optional<qint64> retryAt =
            connection.PeerClosed(Transport::IsTcpName(state.PortName), clock());
        EnterWaiting(QStringLiteral("****** Port lost: %1, waiting for it").arg(state.PortName));
        if (retryAt && !state.PortTaken) {
            state.PortTaken = true;
            Log(QStringLiteral("****** %1 is taken by another client: trying again at "
                               "growing intervals, up to a minute")
                    .arg(state.PortName));
            const QString reason = QStringLiteral(
                "taken by another client; trying again at growing intervals, up to a minute");
            connection.NewReason(reason);
            Q_EMIT PortWaitReason(reason);
            Changed(StateChange::Connection);
        }
        return;
    }
    TellMessage(QStringLiteral("Disconnected from COM Port"), QStringLiteral("COM Port "),
                LinkEvent::Icon::Warning, true);
    port->Close();
    SetPhase(LinkPhase::Closed);
}

// ---- Received text -------------------------------------------------------------

void AmpLink::ReceiveChunk(const QByteArray &chunk) {
    Q_EMIT ChunkArrived();
    const LineFramer::Result framed = framer.Feed(chunk, clock());
    NoteDroppedLine(framed.dropped);
    for (const QByteArray &bytes : framed.lines) {
        answers.Heard(clock());
        SetNoAnswer(false);
        Log(Protocol::ReceivedEcho(bytes));
        if (Protocol::HasPrefix(bytes, Protocol::RepIdentified)) {
            state.PaIdentified = true;
            Log(Protocol::ReceivedEcho(Protocol::RepIdentified));
            handshakeTimer->stop();
            state.ConnectTicks = 0;
            answers.Reset(clock());
            SetPhase(LinkPhase::Connected);
            SendStartupBurst();
        }
        if (!state.PaIdentified)
            continue;
        const AmpStatus before = state;
        const qint64 now = clock();
        const ReportOutcome outcome = ApplyReport(Protocol::FromLine(bytes), state, now);
        for (const QString &entry : outcome.entries)
            Log(entry);
        const unsigned confirmed = ConfirmPending(outcome, pending);
        if (outcome.atuConfirmed)
            atuTimer->stop();
        unsigned changed = outcome.changed | confirmed | NotePowerReport(outcome.row, now);
        TellChanges(before);
        if (outcome.row == ReportId::EndSwr) {
            LinkEvent e;
            e.kind = LinkEvent::Kind::TuneResult;
            e.swr = state.readings.tuner.swr.value;
            e.band = state.Band().value_or(0);
            Tell(e);
        }
        // Views take the value as received before they redraw.
        if (outcome.row != ReportId::None)
            Q_EMIT ReportApplied(outcome.row, outcome.value);
        Changed(changed);
        if (outcome.tunerFitted) {
            LinkEvent e;
            e.kind = LinkEvent::Kind::TunerFitted;
            Tell(e);
        }
        if (outcome.tuneFinished) {
            LinkEvent e;
            e.kind = LinkEvent::Kind::TuneFinished;
            Tell(e);
        }
    }
    if (framed.discarded > 0)
        Log(QStringLiteral("****** Line without end discarded (%1 bytes)").arg(framed.discarded));
}

void AmpLink::DropUnfinishedLine() {
    NoteDroppedLine(framer.DropStale(clock()));
}

void AmpLink::NoteDroppedLine(const QByteArray &fragment) {
    if (!fragment.isEmpty())
        Log(QStringLiteral("****** Unfinished line dropped: ") + Protocol::FromLine(fragment));
}

void AmpLink::SendStartupBurst() {
    // Paced by the burst timer: nothing waits on the caller's thread.
    burst.Start();
    BurstTick();
}

void AmpLink::BurstTick() {
    while (burst.Running() && state.IsConnected()) {
        bool pause = false;
        Send(burst.Next(&pause), Protocol::Echo::WithCrLf);
        if (pause) {
            burstTimer->start(Poller::BurstPauseMs);
            return;
        }
    }
    burst.Stop();
}

// ---- Timers ----------------------------------------------------------------------

void AmpLink::SendRepeats(const QList<Poller::PollLine> &lines) {
    for (const Poller::PollLine &line : lines) {
        if (line.echo)
            Send(line.text, *line.echo, skRepeat);
        else
            SendOnly(line.text, skRepeat);
    }
}

void AmpLink::PollTick() {
    SendRepeats(Poller::PollLines(state, pending));
}

void AmpLink::AtuTick() {
    // Not connected: the timer idles and keeps running.
    SendRepeats(Poller::AtuResends(state, pending));
}

void AmpLink::LivenessTick() {
    // A fragment whose rest did not come shows even when nothing else does.
    DropUnfinishedLine();
    if (!state.IsConnected())
        return;
    const qint64 now = clock();
    // Kept past the time another client takes it in: ours again.
    if (connection.KeptAt(now))
        NotTaken();
    const Poller::AnswerWatch::Step step = answers.Tick(state, QuietSince(), now);
    if (step.noAnswer)
        SetNoAnswer(true);
    if (step.probe)
        Send(Protocol::AskTemperature, Protocol::Echo::WithCrLf, skRepeat);
}

// ---- The operator's commands -------------------------------------------------------

void AmpLink::SelectBand(int n, const CommandSource &source) {
    Command c;
    c.kind = Command::Kind::Band;
    c.value = n;
    c.source = source;
    Submit(c);
}

namespace {
Command Setting(Command::Kind kind, int value) {
    Command c;
    c.kind = kind;
    c.value = value;
    return c;
}
} // namespace

void AmpLink::SetFan(int n) {
    Submit(Setting(Command::Kind::Fan, n));
}

void AmpLink::SetAlarmSound(int n) {
    Submit(Setting(Command::Kind::AlarmSound, n));
}

void AmpLink::SetBarSpeed(int n) {
    Submit(Setting(Command::Kind::BarSpeed, n));
}

void AmpLink::SetTot(int n) {
    Submit(Setting(Command::Kind::Tot, n));
}

void AmpLink::SelectInterface(int n) {
    Submit(Setting(Command::Kind::Interface, n));
}

void AmpLink::SetPaType(PaType type) {
    state.readings.paType.Set(type, state.At(clock()));
    Changed(StateChange::PaType);
}

void AmpLink::TogglePttBlock() {
    if (!state.IsConnected())
        return;
    Command c;
    c.kind = Command::Kind::PttBlock;
    // As the button shows it: before a report on this connection a click
    // blocks.
    c.value = state.PttBlockedHere() ? 0 : 1;
    Submit(c);
}

void AmpLink::RequestPttBlock(bool blocked, const CommandSource &source) {
    if (!state.IsConnected())
        return;
    Command c;
    c.kind = Command::Kind::PttBlock;
    c.value = blocked ? 1 : 0;
    c.source = source;
    Submit(c);
}

bool AmpLink::PressOutputBar(int x, const CommandSource &source) {
    if (!state.readings.Calibrated()) {
        TellMessage(QStringLiteral("Please make first a calibration in PA !"),
                    QStringLiteral("Error"));
        return false;
    }
    Command c;
    c.kind = Command::Kind::OutputLevel;
    c.value = Reports::AlcLevel(*state.readings.calibration, x);
    c.source = source;
    const CommandOutcome outcome = Submit(c);
    return outcome.result != CommandOutcome::Result::Failed &&
           outcome.result != CommandOutcome::Result::Refused;
}

void AmpLink::ToggleAtu() {
    Submit(
        Setting(Command::Kind::Tuner, state.readings.tuner.position == AtuSwitch::InLine ? 0 : 1));
}

void AmpLink::Tune() {
    Submit(Setting(Command::Kind::Tune, 0));
}

void AmpLink::FineTune() {
    Submit(Setting(Command::Kind::Tune, 1));
}

void AmpLink::ClearAtuMemory() {
    Submit(Setting(Command::Kind::ClearTunerMemory, 0));
}

void AmpLink::SetSwrMin(int nn) {
    Submit(Setting(Command::Kind::SwrMin, nn));
}

void AmpLink::SetRig(const RigStatus &rig) {
    if (state.rig == rig)
        return;
    state.rig = rig;
    Changed(StateChange::Rig);
}

// ---- The gate ------------------------------------------------------------------------

void AmpLink::Execute(const Command &c) {
    Readings &r = state.readings;
    // A settings menu: the status takes the value, then the line goes.
    const auto SetMenu = [this, &c](int &field, QByteArray (*command)(int)) {
        field = c.value;
        Changed(StateChange::Settings);
        Send(command(c.value));
    };
    switch (c.kind) {
    case Command::Kind::Band: {
        const std::optional<int> from = state.Band();
        const bool changes = from && *from != c.value;
        r.band.Set(c.value, state.At(clock()));
        unsigned changed = StateChange::Band;
        if (changes)
            changed |= Forgetting::Apply(Forgetting::Rule::BandChange, state, clock());
        Changed(changed);
        Send(Protocol::SetBand(c.value));
        if (changes) {
            LinkEvent e;
            e.kind = LinkEvent::Kind::BandChanged;
            e.band = c.value;
            e.fromBand = *from;
            e.source = c.source;
            Tell(e);
        }
        break;
    }
    case Command::Kind::PttBlock: {
        const bool blocked = c.value != 0;
        bool &wanted = blocked ? pending.blockOn : pending.blockOff;
        bool &withdrawn = blocked ? pending.blockOff : pending.blockOn;
        if (blocked) {
            Send(Protocol::BlockOn);
        } else {
            Send(Protocol::BlockOff);
            SendOnly(Protocol::BlockOff);
        }
        withdrawn = false;
        wanted = true;
        pttSource = c.source;
        Changed(StateChange::PttPending);
        break;
    }
    case Command::Kind::OutputLevel:
        Send(Protocol::SetAlc(c.value));
        break;
    case Command::Kind::Line:
        Send(c.line);
        break;
    case Command::Kind::Fan:
        SetMenu(state.Fan, Protocol::SetFan);
        break;
    case Command::Kind::AlarmSound:
        SetMenu(state.AlarmSound, Protocol::SetAlarmSound);
        break;
    case Command::Kind::BarSpeed:
        SetMenu(state.BarSpeed, Protocol::SetBarSpeed);
        break;
    case Command::Kind::Tot:
        SetMenu(state.Tot, Protocol::SetTot);
        break;
    case Command::Kind::Interface:
        state.Interface = c.value;
        Send(Protocol::SetInterface(c.value));
        // Told (and shown in the band group) only once sent.
        Changed(StateChange::Interface);
        break;
    case Command::Kind::SwrMin:
        state.SwrMin = c.value;
        Changed(StateChange::SwrMin);
        Send(Protocol::SetSwrMin(c.value));
        break;
    case Command::Kind::Tuner:
        if (c.value == 0) {
            Send(Protocol::AtuBypass);
            pending.atuBypass = true;
            atuTimer->start();
        } else if (r.band.value_or(StartBand) == 7) {
            // 6 m has no tuner: the switch only shows the state locally.
            r.tuner.position = AtuSwitch::InLine;
            Changed(StateChange::AtuSwitch);
        } else {
            Send(Protocol::AtuOn);
            atuTimer->start();
            pending.atuOn = true;
        }
        break;
    case Command::Kind::Tune:
        Send(c.value ? Protocol::TuneFine : Protocol::TuneOn);
        break;
    case Command::Kind::ClearTunerMemory:
        Send(Protocol::MemoryClear);
        break;
    }
}

CommandOutcome AmpLink::Submit(const Command &command) {
    CommandOutcome outcome;
    outcome.id = nextCommandId++;
    outcome.command = command;
    if (const std::optional<QString> why = CommandGate::Refusal(command, state)) {
        outcome.result = CommandOutcome::Result::Refused;
        outcome.reason = *why;
        Finish(outcome);
        return outcome;
    }
    CommandGate::Slots::Slot &slot = gate.Of(command.kind);
    // A newer request replaces an older one still waiting; a client's line
    // is not overwritten but refused while another waits.
    if (slot.waiting) {
        if (command.kind == Command::Kind::Line && !command.source.AtThePanel()) {
            outcome.result = CommandOutcome::Result::Refused;
            outcome.reason = QStringLiteral("another line is waiting to go");
            Finish(outcome);
            return outcome;
        }
        CommandOutcome replaced = *slot.waiting;
        slot.waiting.reset();
        replaced.result = CommandOutcome::Result::Replaced;
        replaced.reason = QStringLiteral("a newer request took its place");
        Finish(replaced);
    }
    // What the amplifier already meets needs no turn.
    if (CommandGate::AlreadySo(command, state, pending)) {
        outcome.result = CommandOutcome::Result::Unchanged;
        Finish(outcome);
        return outcome;
    }
    if (gate.MustWait(command, clock())) {
        outcome.result = CommandOutcome::Result::Waiting;
        slot.waiting = outcome;
        ArmGate();
        return outcome;
    }
    outcome = SendThroughGate(outcome);
    Finish(outcome);
    return outcome;
}

CommandOutcome AmpLink::SendThroughGate(CommandOutcome outcome) {
    if (CommandGate::AlreadySo(outcome.command, state, pending)) {
        outcome.result = CommandOutcome::Result::Unchanged;
        return outcome;
    }
    try {
        Execute(outcome.command);
        outcome.result = CommandOutcome::Result::Sent;
        gate.Sent(outcome.command.kind, clock());
    } catch (const ESerialPortException &e) {
        // The port is closed or went during the send: a result for the
        // source, not an exception for whoever called.
        outcome.result = CommandOutcome::Result::Failed;
        outcome.reason = e.Message();
        if (outcome.command.source.AtThePanel())
            TellMessage(e.Message(), QStringLiteral("Orvik Remote Control"));
    }
    return outcome;
}

void AmpLink::Finish(const CommandOutcome &outcome) {
    LinkEvent e;
    e.kind = LinkEvent::Kind::CommandDone;
    e.source = outcome.command.source;
    e.outcome = outcome;
    Tell(e);
    Q_EMIT CommandFinished(outcome);
}

void AmpLink::ArmGate() {
    const std::optional<qint64> due = gate.NextDue();
    if (!due) {
        gateTimer->stop();
        return;
    }
    gateTimer->start(int(std::max<qint64>(0, *due - clock())));
}

void AmpLink::GateTick() {
    for (CommandOutcome outcome : gate.TakeDue(clock())) {
        // Still allowed? The amplifier may have gone or started to transmit.
        if (const std::optional<QString> why = CommandGate::Refusal(outcome.command, state)) {
            outcome.result = CommandOutcome::Result::Refused;
            outcome.reason = *why;
        } else {
            outcome = SendThroughGate(outcome);
        }
        Finish(outcome);
    }
    ArmGate();
}

// ---- Events ----------------------------------------------------------------------------

void AmpLink::Tell(LinkEvent event) {
    event.atMs = clock();
    event.port = state.PortName;
    Q_EMIT Event(event);
}

qint64 AmpLink::QuietSince() const {
    return std::max(answersSince, lastPowerReport);
}

unsigned AmpLink::NotePowerReport(ReportId row, qint64 now) {
    if (row == ReportId::Output || row == ReportId::Reverse) {
        lastPowerReport = now;
        reportsTimer->start(Forgetting::ReportsStopMs);
        return 0;
    }
    // Answering, with no power report for a while: it receives.
    if (row != ReportId::TxOn && state.ReadingsCurrent() &&
        !state.OnThisConnection(state.readings.transmitting) &&
        Forgetting::ReceivingAfter(QuietSince(), now))
        return Forgetting::Apply(Forgetting::Rule::Receiving, state, now);
    return 0;
}

void AmpLink::ReportsStoppedTick() {
    const Readings &r = state.readings;
    if (!state.ReadingsCurrent())
        return;
    // A coarse timer may fire a little early: it waits out the rest.
    if (const qint64 quiet = clock() - lastPowerReport; quiet < Forgetting::ReportsStopMs) {
        reportsTimer->start(int(Forgetting::ReportsStopMs - quiet));
        return;
    }
    if (!r.transmitting.value_or(false) && !r.outputW.has_value())
        return;
    const AmpStatus before = state;
    const unsigned changed = Forgetting::Apply(Forgetting::Rule::ReportsStopped, state, clock());
    TellChanges(before);
    Changed(changed);
}

void AmpLink::TellChanges(const AmpStatus &before) {
    const qint64 now = clock();
    const qint64 endedBy = state.transmission && lastPowerReport >= state.transmission->startMs
                               ? lastPowerReport
                               : answers.LastHeard();
    for (const LinkEvent &e : tracker.Update(before, state, now, endedBy))
        Tell(e);
    for (const LinkEvent &e : ReportedChanges(before, state, pttSource))
        Tell(e);
    if (!pending.blockOn && !pending.blockOff)
        pttSource.reset();
}
