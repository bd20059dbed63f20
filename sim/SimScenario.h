// SPDX-License-Identifier: GPL-3.0-or-later
// Scenario commands of the simulator (from stdin, a script or the built-in
// demo) and their scheduling on an injected clock: every call takes "now" in
// milliseconds, so tests drive time explicitly.
#pragma once

#include "SimCore.h"
#include "SimText.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <optional>

namespace sim {

// One parsed scenario command.
struct Command {
    enum Kind {
        Tx,      // tx WATTS REV SECONDS
        Alarm,   // alarm HPOUT|HPIN|BPF|SWR|TEMP|TOT|HPCONT|OFF
        Temp,    // temp VALUE [SECONDS]
        Tune,    // tune [RESULT] [fine]
        Say,     // say TEXT
        Send,    // send ESCAPED
        Split,   // split TEXT
        Garbage, // garbage [COUNT]
        Unplug,
        Replug,
        Wait, // wait SECONDS
        Set,  // set NAME VALUE
        Confirm,
        Silent,
        Repeat,
        Quit,
        Help,
    };
    Kind kind = Help;
    int watts = 0;
    int reverse = 0;
    qint64 ms = 0;
    QByteArray text;  // bytes to send, alarm name, temperature, value name
    QByteArray value; // value of "set"
    bool flag = false;
    TuneResult tune = TuneResult::Ok;
    bool background = false; // ends in " &": the next command of its source starts at once
};

// Parses one command line; on failure returns nothing and sets *error to a
// one-line message. Blank and '#' lines give nothing with an empty error.
std::optional<Command> parseCommand(const QByteArray &line, QString *error);
QString commandHelp();
// The lively script of --demo: transmissions, temperature drift, an ATU, an
// occasional alarm and all-clear, repeated for ever.
QByteArray demoScript();

// Something the program around the scheduler must do at its time.
struct Action {
    enum Kind { Write, Unplug, Replug, Quit, Print };
    Kind kind = Write;
    QByteArray bytes; // Write: the bytes of one write; Print: a message for the operator
};

class Scheduler {
public:
    explicit Scheduler(AmpCore &core) : m_core(core) {}

    enum Source { Script, Input };
    // Queues a command line of a source; commands of one source run one after
    // another (a transmission or a wait keeps the next one waiting, unless it
    // ends in " &"), the two sources run side by side. Returns false with *error on a bad line.
    bool submit(Source source, const QByteArray &line, qint64 now, QString *error);
    // Replaces the script; bad lines are reported ("line N: ...") and skipped.
    QStringList loadScript(const QByteArray &script, qint64 now);

    // A line received from the panel: its answer lines come back at once; a
    // tuning request schedules the tuning cycle.
    QList<QByteArray> received(const QByteArray &line, qint64 now);

    // Runs due commands and returns the actions due at or before now, in order.
    QList<Action> takeDue(qint64 now);
    // Time of the next thing to do, or -1 when idle.
    qint64 nextDue() const;

    bool tuning(qint64 now) const { return now < m_tuneBusyUntil; }

private:
    struct Track {
        QList<Command> commands;
        int next = 0;
        qint64 readyAt = 0;
        bool loops = false; // a script, kept for "repeat"
        qint64 passStart = 0;
    };

    qint64 execute(const Command &cmd, Track &track, qint64 at);
    // The scenario's own bytes: written whether silent or not.
    void scheduleWrite(qint64 at, const QByteArray &bytes);
    // A report of the amplifier's own (a transmission, an alarm, the
    // temperature, a tuning cycle): dropped when it falls due while silent.
    void scheduleReport(qint64 at, const QByteArray &line);
    void schedule(qint64 at, std::optional<Action> action, std::function<void()> apply = {},
                  bool report = false);
    qint64 scheduleTx(qint64 at, int watts, int reverse, qint64 ms);
    qint64 scheduleTune(qint64 at, TuneResult result, bool fine);
    qint64 scheduleTemp(qint64 at, const QByteArray &target, qint64 ms);
    int jitter(int value, int percent);

    struct Pending {
        std::optional<Action> action;
        std::function<void()> apply;
        bool report = false;
    };
    AmpCore &m_core;
    Track m_tracks[2];
    std::multimap<qint64, Pending> m_events; // equal times keep insertion order
    qint64 m_tuneBusyUntil = 0;
    quint32 m_random = 12345;
};

} // namespace sim
