// SPDX-License-Identifier: GPL-3.0-or-later
// The commands a broker's client may send with Control=1: each message on
// <topic>/set/<name> is read here, and what it asks goes to the amplifier
// through a target (the link, through the operator's own calls).
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace mqtt {

struct Command {
    enum class Kind { Band, Operate, Raw, RadioFollowing };
    Kind kind = Kind::Band;
    int band = 0;         // Band: 1..7
    bool operate = false; // Operate: true operate (PTT free), false standby (PTT blocked)
    bool follow = false;  // RadioFollowing: following the radio on or off
    QByteArray line;      // Raw: one line without its line end
};

// The longest payload a command takes.
constexpr int MaxCommandBytes = 256;

// Reads the message on <topic>/set/<name>: "band" takes a band number 1..7
// or a frequency in Hz, "operate" takes "operate" or "standby", "follow"
// "on" or "off", "raw" (only with allowRaw) one line of text. Returns an empty string, or why the
// message asks for nothing (unknown, malformed, too long, not allowed).
QString ParseCommand(const QString &name, const QByteArray &payload, bool allowRaw, Command *out);

// The kind's name as the topic has it.
QString CommandName(Command::Kind kind);

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // Hands the command to the amplifier's command gate. done is called
    // once, now or when the command has had its turn, with an empty string
    // or why it was not done (not connected, the band is not the
    // operator's to choose, replaced by a newer request ...).
    using Done = std::function<void(const QString &why)>;
    virtual void Apply(const Command &command, Done done) = 0;
};

} // namespace mqtt
