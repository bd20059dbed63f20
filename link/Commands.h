// SPDX-License-Identifier: GPL-3.0-or-later
// Commands to the amplifier and the one gate they all pass: the panel's
// mouse and keyboard, the port monitor's typed line, each server client,
// MQTT, the web page and the radio the amplifier follows. A command carries
// who asked; the gate keeps the order of requests of one kind, spaces them,
// refuses what must not go, and tells the source the outcome.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Who asked for a command.
struct CommandSource {
    enum class Kind { Panel, Keyboard, Monitor, Server, Mqtt, Web, Rig };
    Kind kind = Kind::Panel;
    QString who; // the client: "127.0.0.1:40122", "user@192.0.2.1", "rigctld://HOST:PORT"
    // As logs name it: "panel", "keyboard", "monitor",
    // "ampctld 127.0.0.1:40122", "mqtt", "web user@address",
    // "rig rigctld://127.0.0.1:4532".
    QString Text() const;
    // Mouse and keyboard at the panel, and the monitor's typed line: a
    // failure is shown to the operator in a box.
    bool AtThePanel() const {
        return kind == Kind::Panel || kind == Kind::Keyboard || kind == Kind::Monitor;
    }
    static CommandSource Panel() { return {}; }
    static CommandSource Of(Kind kind, const QString &who = QString()) { return {kind, who}; }
};

struct Command {
    enum class Kind {
        Band,        // value 1..7
        PttBlock,    // value 1 block (standby), 0 release (operate)
        OutputLevel, // value: the ALC level 0..255
        Line,        // line: sent as it is (the monitor's typed line, raw)
        // The settings menus, each 1..4 (interface 1..7, SWR min 11..17).
        Fan,
        Interface,
        AlarmSound,
        BarSpeed,
        Tot,
        SwrMin,
        Tuner, // value 1 in line, 0 bypassed
        Tune,  // value 0 a full tune, 1 a fine tune
        ClearTunerMemory,
    };
    static constexpr int Kinds = 13;
    Kind kind = Kind::Line;
    int value = 0;
    QByteArray line;
    CommandSource source;

    // "band 3", "standby", "operate", "output level 120", "line T?",
    // "fan 2", "tuner in line", "tune", …
    QString Text() const;
};

// What became of a command.
struct CommandOutcome {
    enum class Result {
        Sent,      // written to the port
        Unchanged, // the amplifier is already so, or the same is already waiting
        Waiting,   // held until the spacing of its kind has passed
        Replaced,  // a newer request of its kind took its place before it went
        Refused,   // not allowed now; reason says why
        Failed,    // the port did not take it; reason says why
    };
    quint64 id = 0;
    Command command;
    Result result = Result::Sent;
    QString reason;
    // Final outcomes that count as done: sent or nothing to do.
    bool Ok() const { return result == Result::Sent || result == Result::Unchanged; }
    bool Final() const { return result != Result::Waiting; }
    // "ok", or the reason.
    QString Text() const;
};
