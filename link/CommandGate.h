// SPDX-License-Identifier: GPL-3.0-or-later
// The command gate's rules: whether a command may go now, whether the
// amplifier already meets it, whether it waits for the spacing of its kind.
// Pure functions of the command, the status and what waits; the link
// carries out what they decide (AmpLink::Submit).
#pragma once

#include "link/AmpStatus.h"
#include "link/Commands.h"

#include <array>
#include <optional>

namespace CommandGate {

// Between two requests of one kind from the keyboard or a client.
constexpr int SpacingMs = 250;

// Why command must not go now; nothing when it may.
std::optional<QString> Refusal(const Command &command, const AmpStatus &status);
// A client's request that the amplifier already meets (or that already
// waits for its confirmation) needs nothing; a click always sends.
bool AlreadySo(const Command &command, const AmpStatus &status, const PendingCommands &pending);
// Requests from the keyboard and from clients are spaced; a click and the
// monitor's typed line go at once.
bool Spaced(const CommandSource &source);

// What waits, per kind, and when the last of each kind went.
class Slots {
public:
    struct Slot {
        std::optional<CommandOutcome> waiting;
        qint64 lastSentMs = 0;
        bool everSent = false;
    };
    Slot &Of(Command::Kind kind) { return slots[std::size_t(kind)]; }
    // A command of this kind at nowMs must wait for its spacing.
    bool MustWait(const Command &command, qint64 nowMs) const;
    void Sent(Command::Kind kind, qint64 nowMs);
    // When the next waiting command is due; nothing when none waits.
    std::optional<qint64> NextDue() const;
    // The waiting commands due at nowMs, taken out of their slots.
    QList<CommandOutcome> TakeDue(qint64 nowMs);

private:
    std::array<Slot, Command::Kinds> slots;
};

} // namespace CommandGate
