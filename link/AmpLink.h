// SPDX-License-Identifier: GPL-3.0-or-later
// The amplifier link: owns the serial port and the timers, and carries out
// what its parts decide. The connection (link/Connection.h) opens, tells why
// a port is waited for and backs off from a port another client takes; the
// poller (link/Poller.h) decides the start-up burst, the poll, the re-sends
// and the probe; the command gate (link/CommandGate.h) lets commands go;
// the transmission tracker (link/TransmissionTracker.h) turns a change of
// the status into events; the reply dispatcher (link/ReplyDispatcher.h)
// reads the reports. It needs no window: the windows, the servers and the
// headless runner read its status and events and send through Submit.
#pragma once

#include "link/AmpStatus.h"
#include "link/CommandGate.h"
#include "link/Commands.h"
#include "link/Connection.h"
#include "link/LineFramer.h"
#include "link/LinkEvents.h"
#include "link/Poller.h"
#include "link/Protocol.h"
#include "link/ReplyDispatcher.h"
#include "link/TransmissionTracker.h"
#include "serial/SerialPort.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QTimer;

class AmpLink : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AmpLink)
public:
    explicit AmpLink(QObject *parent = nullptr);
    ~AmpLink() override;

    const AmpStatus &State() const { return state; }
    // The commands that wait for the amplifier's confirmation.
    const PendingCommands &Pending() const { return pending; }
    // The port, for tests and benchmarks that play its events; the program
    // writes only through the gate.
    TSerialPort *Port() const { return port; }
    // The handshake timer (1 s ticks until identified or given up), the
    // poll timer (1 s), the tuner switch's re-send timer (1 s).
    QTimer *HandshakeTimer() const { return handshakeTimer; }
    QTimer *PollTimer() const { return pollTimer; }
    QTimer *AtuTimer() const { return atuTimer; }
    // The retries of a lost port (1 s) while the link waits for it.
    QTimer *ReconnectTimer() const { return reconnectTimer; }
    // Whether the amplifier still answers (1 s ticks while connected).
    QTimer *LivenessTimer() const { return livenessTimer; }

    // Milliseconds of a monotonic clock; tests may drive time themselves.
    using Clock = std::function<qint64()>;
    void SetClock(Clock clock);

    // Runs the handlers of the port's events and of the timers. An
    // exception that escapes one (a send on a port just lost) goes to the
    // guard; without one it becomes a Message event.
    using Guard = std::function<void(const std::function<void()> &)>;
    void SetGuard(Guard guard) { this->guard = std::move(guard); }

    // The entries above which a view of the monitor is emptied as a chunk arrives.
    static constexpr int MonitorLineLimit = 500;
    // Handshake ticks after which the link gives up.
    static constexpr int HandshakeTicks = 10;
    // Between two attempts to reopen a lost port.
    static constexpr int ReconnectIntervalMs = 1000;
    // Whether the amplifier answers (link/Poller.h).
    static constexpr int NoAnswerAfterMs = Poller::NoAnswerAfterMs;
    static constexpr int ProbeGraceMs = Poller::ProbeGraceMs;
    // A network port taken by another client (link/Connection.h).
    static constexpr int TakenWithinMs = Connection::TakenWithinMs;

    // ---- The connection ------------------------------------------------------
    // Opens port at 9600 8N1 and starts the handshake. Returns an empty
    // string, or why the port did not open (the link stays as it was).
    QString Open(const QString &portName);
    // Close Port: stops the timers and closes; the port's disconnect follows.
    void Close();
    // Closes the port as Exit does: the disconnect runs as for a lost port.
    void ClosePort();
    // Program end: no further event is delivered; the port is closed.
    void Shutdown();
    // Automatic reconnection. Off (as it starts), a lost port ends the
    // connection with the "Disconnected from COM Port" message. On, a port
    // lost without the operator closing it is retried every second, with
    // no message: reopened, the handshake and the start-up burst follow as
    // on Open Port. A reopened port where the amplifier does not answer is
    // closed and retried too. Close Port stops the retries.
    void SetAutoReconnect(bool on);
    bool AutoReconnect() const { return autoReconnect; }
    // Waits for portName: enters the waiting state and retries it every
    // second, as for a lost port (a port that is not there at start).
    void WaitForPort(const QString &portName);
    void ReconnectTick(); // the reconnect timer's tick
    void HandshakeTick(); // the handshake timer's tick
    void PollTick();      // the poll timer's tick
    void AtuTick();       // the tuner switch's re-send tick
    void LivenessTick();  // the liveness timer's tick (it also drops an unfinished line)
    void GateTick();      // the gate's timer: the waiting commands whose turn has come
    void BurstTick();     // the start-up burst's next query after its pause
    // A transmission's power reports stopped (Forgetting::ReportsStopMs after the last).
    void ReportsStoppedTick();
    QTimer *GateTimer() const { return gateTimer; }
    QTimer *BurstTimer() const { return burstTimer; }
    // A received chunk, as the port delivers it. A line left unfinished is
    // joined to what follows within LineFramer::JoinWithinMs; later, it is
    // dropped with a "******" entry, at the next chunk or liveness tick.
    void ReceiveChunk(const QByteArray &chunk);
    // The port's disconnect event.
    void PortDisconnected();

    // ---- Sending -------------------------------------------------------------
    // A line the operator typed in the port monitor (or its "Send ???"):
    // through the gate as a command; the service keyword then asks for the
    // tuner's service readouts. Returns whether the port took it.
    bool
    SendTypedLine(const QByteArray &line,
                  const CommandSource &source = CommandSource::Of(CommandSource::Kind::Monitor));
    // Asks the views for the tuner's service readouts (ServiceReadingsAsked).
    void RevealServiceReadings();
    // Adds one entry to the monitor's log.
    void Log(const QString &entry);

    // ---- The radio followed -----------------------------------------------------
    // What the follower (rig/) tells of the radio, so that every output shows
    // it from the one status.
    void SetRig(const RigStatus &rig);

    // ---- The gate ------------------------------------------------------------
    // Every command from every source goes through here. Requests of one
    // kind (band, PTT block, output level, a line from a client) keep their
    // order: a newer one replaces an older one still waiting, never the
    // reverse. Those from the keyboard and from clients are spaced by
    // CommandSpacingMs from the moment the last one of their kind was sent
    // (a click at the panel goes at once and withdraws a waiting one). A band
    // change from the keyboard or a client is refused while the amplifier
    // transmits, and a client's while the interface is not Manual. Returns
    // the outcome now; a command that waits is told later through
    // CommandFinished, as every final outcome is.
    CommandOutcome Submit(const Command &command);
    static constexpr int CommandSpacingMs = CommandGate::SpacingMs;

    // ---- The operator's commands (each changes its state first, then sends) --
    // Through the gate, as the panel's (or the given source's) requests.
    void SelectBand(int n, const CommandSource &source = CommandSource::Panel());
    void SetFan(int n);
    // Checks interface n, sends it, then shows it in the band group.
    void SelectInterface(int n);
    void SetAlarmSound(int n);
    void SetBarSpeed(int n);
    void SetTot(int n);
    void SetPaType(PaType type);
    // The PTT-block panel: block when free, release when blocked; the state
    // changes only when the amplifier confirms, and the poll re-sends.
    void TogglePttBlock();
    // Asks for the PTT blocked or free, whatever was asked before: a command
    // of the other kind still waiting for its confirmation is withdrawn, and
    // this one is sent and re-sent by the poll until confirmed.
    void RequestPttBlock(bool blocked, const CommandSource &source = CommandSource::Panel());
    // A press at x on the output bar (its full-level scale, 0..333) sets the
    // output level (ALC); true when it went out. Without calibration a
    // message says so and nothing is sent.
    bool PressOutputBar(int x, const CommandSource &source = CommandSource::Panel());
    // The tuner: in line or bypass, tune, fine tune, clear memory, SWR min.
    void ToggleAtu();
    void Tune();
    void FineTune();
    void ClearAtuMemory();
    void SetSwrMin(int nn);

Q_SIGNALS:
    void StateChanged(const AmpStatus &state, unsigned changed);
    // A report a row of the table acted on, with its value as received ("850"
    // of "O: 850", a value that is not a number too); its StateChanged follows.
    void ReportApplied(ReportId row, const QString &value);
    // The operator asked for the tuner's service readouts.
    void ServiceReadingsAsked();
    void ConnectionChanged(LinkPhase phase);
    void EntryLogged(const QString &entry);
    // A chunk arrived; its lines follow (a monitor may make room first).
    void ChunkArrived();
    // While waiting for a port: why it cannot be opened, in one line (no
    // such device, permission denied with the hint, busy, not a terminal,
    // the network's answer). Told once per change of reason.
    void PortWaitReason(const QString &reason);
    // Something happened: a phase, a transmission, an alarm, a band, a
    // command's outcome. Every consumer reads the same stream.
    void Event(const LinkEvent &event);
    // A command's final outcome (also told as a CommandDone event).
    void CommandFinished(const CommandOutcome &outcome);

private:
    // Writes command + CR LF, then logs its echo. On a closed port the
    // port's error is raised and nothing is logged. A repeat (the poll's
    // lines, probes, re-sends) is dropped first when the port takes no data;
    // a dropped one is not echoed. Writes never wait for the port. Only the
    // gate, the handshake and the poll send.
    void Send(const QByteArray &command, Protocol::Echo echo = Protocol::Echo::Plain,
              TSendKind kind = skCommand);
    // Writes command + CR LF without an echo (repeats, bare lines).
    void SendOnly(const QByteArray &command, TSendKind kind = skCommand);
    void Changed(unsigned what);
    void SetPhase(LinkPhase phase);
    void TellMessage(const QString &text, const QString &title,
                     LinkEvent::Icon icon = LinkEvent::Icon::Error, bool portGone = false);
    void SendStartupBurst();
    QString OpenPort(const QString &portName);
    void StartHandshake();
    void EnterWaiting(const QString &entry);
    void Guarded(const std::function<void()> &handler);
    void StopConnectionTimers();
    void SetNoAnswer(bool on);
    // The port is ours again (kept, opened or closed by the operator).
    void NotTaken();
    // Writes the poll's, the probe's and the re-sends' lines.
    void SendRepeats(const QList<Poller::PollLine> &lines);
    // Notes once per stall that the port has stopped taking data.
    void NoteDroppedRepeats();
    // Carrying a command out, once the gate let it go.
    void Execute(const Command &command);
    CommandOutcome SendThroughGate(CommandOutcome outcome);
    void Finish(const CommandOutcome &outcome);
    void ArmGate();
    // Events: told with the link's clock and port.
    void Tell(LinkEvent event);
    // What a report or a phase change meant, from the status before it.
    void TellChanges(const AmpStatus &before);
    // Since when the amplifier has sent no power report while answering.
    qint64 QuietSince() const;
    // Notes a power report (or, after a quiet second, that it receives).
    unsigned NotePowerReport(ReportId row, qint64 now);
    // Drops an unfinished line whose rest came too late, with its entry.
    void DropUnfinishedLine();
    void NoteDroppedLine(const QByteArray &fragment);

    AmpStatus state;
    PendingCommands pending;
    LineFramer framer;
    TSerialPort *port = nullptr;
    QTimer *handshakeTimer = nullptr;
    QTimer *pollTimer = nullptr;
    QTimer *atuTimer = nullptr;
    QTimer *reconnectTimer = nullptr;
    QTimer *livenessTimer = nullptr;
    Guard guard;
    Clock clock;
    Connection connection;
    Poller::AnswerWatch answers;
    int droppedSeen = 0; // the port's dropped repeats already noted
    bool stallNoted = false;
    bool autoReconnect = false;
    // The connection in hand came from a retry: a handshake that fails
    // waits again instead of giving up with a message.
    bool reopened = false;

    // The gate: per kind, the command waiting and when the last one went.
    CommandGate::Slots gate;
    QTimer *gateTimer = nullptr;
    QTimer *burstTimer = nullptr;
    Poller::StartupBurst burst;
    quint64 nextCommandId = 1;
    // Who asked for the PTT block or release waiting for confirmation.
    std::optional<CommandSource> pttSource;
    TransmissionTracker tracker;
    // When the last power report came, and since when the amplifier answers
    // (identified, or answering again after a silence).
    qint64 lastPowerReport = -1;
    ::Liveness connectingFrom = ::Liveness::Closed; // before this connection's handshake
    qint64 answersSince = 0;
    // Fires when a transmission's power reports stop (Forgetting::ReportsStopMs).
    QTimer *reportsTimer = nullptr;
    // Why the port is being closed; its disconnect event acts on it.
    enum class Closing { No, ByOperator, ToRetry } closing = Closing::No;
};
