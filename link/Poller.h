// SPDX-License-Identifier: GPL-3.0-or-later
// What the link sends of its own while the amplifier is connected: the
// start-up burst, the poll's queries and bare lines with the re-sends of
// unconfirmed commands, and the probe that asks whether the amplifier is
// still there. The decisions are functions of the status, what waits for
// confirmation and the link's clock; the link writes what they return.
#pragma once

#include "link/AmpStatus.h"
#include "link/Protocol.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace Poller {

// One line to write. A bare line (empty, no echo) only separates queries;
// every line the poll and the probe send is a repeat, dropped first when
// the port takes no data.
struct PollLine {
    QByteArray text;
    std::optional<Protocol::Echo> echo; // none: not echoed
    friend bool operator==(const PollLine &a, const PollLine &b) {
        return a.text == b.text && a.echo == b.echo;
    }
};

// The start-up burst: every setting and reading asked once, after the
// identification and when the amplifier answers again after a silence.
// The first PacedQueries get BurstPauseMs each so that the amplifier
// answers them before the rest arrive.
const QList<QByteArray> &BurstQueries();
constexpr int PacedQueries = 4;
constexpr int BurstPauseMs = 20;

// The burst as it goes out: the next query, and whether a pause follows it.
class StartupBurst {
public:
    void Start() { sent = 0, running = true; }
    void Stop() { running = false; }
    bool Running() const { return running && sent < BurstQueries().size(); }
    // The next query; pause tells whether the next one waits BurstPauseMs.
    QByteArray Next(bool *pause);

private:
    qsizetype sent = 0;
    bool running = false;
};

// A tick of the 1 s poll: the settings not yet known asked, bare lines
// between them, and the PTT-block commands not yet confirmed (they wait
// while the amplifier is known to transmit). Nothing while not connected.
QList<PollLine> PollLines(const AmpStatus &status, const PendingCommands &pending);
// A tick of the tuner switch's timer: its command until confirmed.
QList<PollLine> AtuResends(const AmpStatus &status, const PendingCommands &pending);

// Whether the amplifier still answers. After ProbeAfterMs without a line
// the link asks for the temperature, at most once per ProbeIntervalMs. No
// line for NoAnswerAfterMs, and none for ProbeGraceMs after a probe: the
// amplifier does not answer (with the 1 s tick at most 8 s after its last
// line). While it is not known whether it transmits, one probe goes once
// its power reports would have come, so that its answer tells it receives.
constexpr int ProbeAfterMs = 3000;
constexpr int ProbeIntervalMs = 5000;
constexpr int ProbeGraceMs = 1500;
constexpr int NoAnswerAfterMs = 6000;

class AnswerWatch {
public:
    // A new connection: no probe sent on it.
    void Reset(qint64 now) { lastHeard = now, lastProbe = -1; }
    void Heard(qint64 now) { lastHeard = now; }
    qint64 LastHeard() const { return lastHeard; }

    struct Step {
        bool noAnswer = false; // the amplifier does not answer
        bool probe = false;    // ask it now ("T?")
    };
    // The liveness tick at now; quietSince: since when it answers without a
    // power report. A probe it decides is counted as sent.
    Step Tick(const AmpStatus &status, qint64 quietSince, qint64 now);

private:
    qint64 lastHeard = 0;  // when the last line came
    qint64 lastProbe = -1; // when the last probe went; -1: none this connection
};

} // namespace Poller
