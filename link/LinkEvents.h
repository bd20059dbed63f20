// SPDX-License-Identifier: GPL-3.0-or-later
// What happened on the link, told once to every consumer: the history, the
// MQTT event topic, the headless log, the server and the windows read these
// and none of them works an event out again by comparing states.
#pragma once

#include "link/Commands.h"
#include "link/Readings.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// The connection as every output names it, decided in one place
// (AmpStatus::Liveness): the server's error codes, MQTT's phase, the
// history's rows and the web page all take this.
enum class Liveness {
    Closed,     // no port open, none waited for
    Connecting, // open, looking for the amplifier
    Live,       // identified and answering: the readings are current
    NoAnswer,   // identified, but silent
    Lost,       // the port went during a connection; the link waits for it
    Waiting,    // the port has not been there yet; the link waits for it
};
// "closed", "connecting", "connected", "no answer", "lost", "waiting".
QString LivenessName(Liveness liveness);
// The liveness of that name; none for a name that is none of them.
std::optional<Liveness> LivenessNamed(const QString &name);

// One transmission, from "TX: ON" (or the first output power) to its end.
struct Transmission {
    qint64 startMs = 0; // the link's clock
    qint64 endMs = 0;
    int band = 0;                   // 1..7 at its start; 0: not known
    double averageW = 0;            // output power averaged over the time
    int peakW = 0;                  // the highest output or peak report
    std::optional<double> worstSwr; // the highest SWR measured while output power came
    unsigned alarms = 0;            // bit n: AlarmKind n was raised during it
    qint64 DurationMs() const { return endMs - startMs; }
};

struct LinkEvent {
    enum class Kind {
        // Connection phases.
        Opened,       // the port opened; the handshake runs
        Identified,   // the amplifier answered
        NoAnswer,     // it stopped answering
        AnswersAgain, // it answers again
        Lost,         // the port went; the link waits for it
        Waiting,      // the link waits for a port that has not been there yet
        Back,         // the lost port is there again
        Closed,       // the port was closed
        // The amplifier.
        TransmitStart,
        TransmitEnd,  // transmission holds the record
        AlarmStart,   // alarm
        AlarmEnd,     // alarm
        BandChanged,  // band, and source when a command asked for it
        PttChanged,   // blocked: confirmed by the amplifier
        TuneResult,   // the tuner's SWR after tuning (swr), band: the band it was taken on
        TunerFitted,  // "ATU_INST: 1": the tuner's panel shows
        TuneFinished, // "TUNE OFF"
        // A command's final outcome (outcome), from the gate.
        CommandDone,
        // Something for the operator to read (text, title, icon): a port
        // that went ("Disconnected from COM Port", portGone), an amplifier
        // not found, a send that failed.
        Message,
    };
    enum class Icon { Error, Warning, Information };
    Kind kind = Kind::Opened;
    qint64 atMs = 0; // the link's clock
    QString port;
    // A connection event: the liveness the link left; for Identified, the
    // one before its handshake began (closed, lost or waiting).
    ::Liveness left = ::Liveness::Closed;
    int band = 0;
    int fromBand = 0; // BandChanged: the band before
    AlarmKind alarm = AlarmKind::HpOut;
    bool blocked = false;
    std::optional<double> swr;
    // Who caused it: a command's source; none when the amplifier reported it.
    std::optional<CommandSource> source;
    Transmission transmission;
    CommandOutcome outcome;
    // Message.
    QString text;
    QString title;
    Icon icon = Icon::Error;
    bool portGone = false;

    // Opened .. Closed.
    bool IsConnection() const { return kind <= Kind::Closed; }

    // The port's close at a stop, which the link no longer tells: left, the
    // liveness it ends.
    static LinkEvent ClosedAtStop(const QString &port, ::Liveness left) {
        LinkEvent e;
        e.kind = Kind::Closed;
        e.port = port;
        e.left = left;
        return e;
    }

    // "opened", "no answer", "transmit end" ...: the word a log or a topic uses.
    static QString Name(Kind kind);
};
