// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkEvents.h"

QString LivenessName(Liveness liveness) {
    switch (liveness) {
    case Liveness::Closed:
        return QStringLiteral("closed");
    case Liveness::Connecting:
        return QStringLiteral("connecting");
    case Liveness::Live:
        return QStringLiteral("connected");
    case Liveness::NoAnswer:
        return QStringLiteral("no answer");
    case Liveness::Lost:
        return QStringLiteral("lost");
    case Liveness::Waiting:
        return QStringLiteral("waiting");
    }
    return QString();
}

std::optional<Liveness> LivenessNamed(const QString &name) {
    for (int l = 0; l <= int(Liveness::Waiting); ++l)
        if (LivenessName(Liveness(l)) == name)
            return Liveness(l);
    return std::nullopt;
}

QString LinkEvent::Name(Kind kind) {
    switch (kind) {
    case Kind::Opened:
        return QStringLiteral("opened");
    case Kind::Identified:
        return QStringLiteral("identified");
    case Kind::NoAnswer:
        return QStringLiteral("no answer");
    case Kind::AnswersAgain:
        return QStringLiteral("answers again");
    case Kind::Lost:
        return QStringLiteral("lost");
    case Kind::Waiting:
        return QStringLiteral("waiting");
    case Kind::Back:
        return QStringLiteral("back");
    case Kind::Closed:
        return QStringLiteral("closed");
    case Kind::TransmitStart:
        return QStringLiteral("transmit start");
    case Kind::TransmitEnd:
        return QStringLiteral("transmit end");
    case Kind::AlarmStart:
        return QStringLiteral("alarm start");
    case Kind::AlarmEnd:
        return QStringLiteral("alarm end");
    case Kind::BandChanged:
        return QStringLiteral("band");
    case Kind::PttChanged:
        return QStringLiteral("ptt");
    case Kind::TuneResult:
        return QStringLiteral("tune result");
    case Kind::TunerFitted:
        return QStringLiteral("tuner fitted");
    case Kind::TuneFinished:
        return QStringLiteral("tune finished");
    case Kind::CommandDone:
        return QStringLiteral("command");
    case Kind::Message:
        return QStringLiteral("message");
    }
    return QString();
}
