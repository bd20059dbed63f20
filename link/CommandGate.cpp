// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/CommandGate.h"

#include "link/Facts.h"
#include "link/StatusView.h"

#include <algorithm>

namespace CommandGate {

namespace {
bool FromClient(const CommandSource &source) {
    return !source.AtThePanel();
}
} // namespace

bool Spaced(const CommandSource &source) {
    // A click at the panel goes at once; the monitor's typed line is the
    // operator's own, sent as typed.
    return source.kind != CommandSource::Kind::Panel && source.kind != CommandSource::Kind::Monitor;
}

std::optional<QString> Refusal(const Command &c, const AmpStatus &s) {
    if (FromClient(c.source) && !s.IsConnected())
        return QStringLiteral("the amplifier is not connected");
    const Readings &r = s.readings;
    switch (c.kind) {
    case Command::Kind::Band:
        if (!Facts::IsBand(c.value))
            return QStringLiteral("no such band: %1").arg(c.value);
        // A click on a band circle keeps its behaviour; the keys and the
        // clients do not change the band under a transmission.
        if (c.source.kind != CommandSource::Kind::Panel &&
            ViewOf(s).transmitting.Now().value_or(false))
            return QStringLiteral("the amplifier is transmitting");
        if (FromClient(c.source) && !s.ManualBands())
            return QStringLiteral("the band follows the transceiver; only the Manual "
                                  "interface lets it be chosen");
        break;
    case Command::Kind::OutputLevel:
        if (!r.Calibrated())
            return QStringLiteral("the amplifier is not calibrated");
        break;
    case Command::Kind::Fan:
    case Command::Kind::AlarmSound:
    case Command::Kind::BarSpeed:
    case Command::Kind::Tot:
        if (c.value < 1 || c.value > 4)
            return QStringLiteral("no such setting: %1").arg(c.value);
        break;
    case Command::Kind::Interface:
        if (!IsInterface(c.value))
            return QStringLiteral("no such interface: %1").arg(c.value);
        break;
    case Command::Kind::SwrMin:
        if (c.value < 11 || c.value > 17)
            return QStringLiteral("no such SWR limit: %1").arg(c.value);
        break;
    case Command::Kind::Tune:
        if (r.tuner.position != AtuSwitch::InLine)
            return QStringLiteral("the tuner is bypassed");
        // 6 m has no tuner; a fine tune only adjusts what is in line.
        if (c.value == 0 && r.band.value_or(StartBand) == 7)
            return QStringLiteral("the 6 m band has no tuner");
        break;
    case Command::Kind::PttBlock:
    case Command::Kind::Line:
    case Command::Kind::Tuner:
    case Command::Kind::ClearTunerMemory:
        break;
    }
    return std::nullopt;
}

bool AlreadySo(const Command &c, const AmpStatus &s, const PendingCommands &pending) {
    if (!FromClient(c.source))
        return false;
    const Readings &r = s.readings;
    switch (c.kind) {
    case Command::Kind::Band:
        return s.Band() == c.value;
    case Command::Kind::PttBlock: {
        const bool blocked = c.value != 0;
        if (pending.blockOn || pending.blockOff)
            return pending.blockOn == blocked;
        // Not confirmed on this connection: it is sent.
        return s.OnThisConnection(r.pttBlocked) && *r.pttBlocked == blocked;
    }
    case Command::Kind::Fan:
        return s.Fan == c.value;
    case Command::Kind::Interface:
        return s.Interface == c.value;
    case Command::Kind::AlarmSound:
        return s.AlarmSound == c.value;
    case Command::Kind::BarSpeed:
        return s.BarSpeed == c.value;
    case Command::Kind::Tot:
        return s.Tot == c.value;
    case Command::Kind::SwrMin:
        return s.SwrMin == c.value;
    case Command::Kind::Tuner:
        return (r.tuner.position == AtuSwitch::InLine) == (c.value != 0);
    case Command::Kind::OutputLevel:
    case Command::Kind::Line:
    case Command::Kind::Tune:
    case Command::Kind::ClearTunerMemory:
        return false;
    }
    return false;
}

bool Slots::MustWait(const Command &c, qint64 nowMs) const {
    const Slot &slot = slots[std::size_t(c.kind)];
    return Spaced(c.source) && slot.everSent && nowMs - slot.lastSentMs < SpacingMs;
}

void Slots::Sent(Command::Kind kind, qint64 nowMs) {
    Slot &slot = Of(kind);
    slot.lastSentMs = nowMs;
    slot.everSent = true;
}

std::optional<qint64> Slots::NextDue() const {
    std::optional<qint64> due;
    for (const Slot &slot : slots)
        if (slot.waiting)
            due = std::min(due.value_or(slot.lastSentMs + SpacingMs), slot.lastSentMs + SpacingMs);
    return due;
}

QList<CommandOutcome> Slots::TakeDue(qint64 nowMs) {
    QList<CommandOutcome> due;
    for (Slot &slot : slots) {
        if (!slot.waiting || nowMs - slot.lastSentMs < SpacingMs)
            continue;
        due << *slot.waiting;
        slot.waiting.reset();
    }
    return due;
}

} // namespace CommandGate
