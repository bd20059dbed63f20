// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Commands.h"

#include "link/LinkEvents.h"

QString CommandSource::Text() const {
    switch (kind) {
    case Kind::Panel:
        return QStringLiteral("panel");
    case Kind::Keyboard:
        return QStringLiteral("keyboard");
    case Kind::Monitor:
        return QStringLiteral("monitor");
    case Kind::Server:
        return QStringLiteral("ampctld ") + who;
    case Kind::Mqtt:
        return QStringLiteral("mqtt");
    case Kind::Web:
        return QStringLiteral("web ") + who;
    }
    return QString();
}

QString Command::Text() const {
    switch (kind) {
    case Kind::Band:
        return QStringLiteral("band %1").arg(value);
    case Kind::PttBlock:
        return value ? QStringLiteral("standby") : QStringLiteral("operate");
    case Kind::OutputLevel:
        return QStringLiteral("output level %1").arg(value);
    case Kind::Line:
        return QStringLiteral("line ") + QString::fromLatin1(line);
    }
    return QString();
}

QString CommandOutcome::Text() const {
    switch (result) {
    case Result::Sent:
    case Result::Unchanged:
        return QStringLiteral("ok");
    case Result::Waiting:
        return QStringLiteral("waiting");
    case Result::Replaced:
    case Result::Refused:
    case Result::Failed:
        break;
    }
    return reason;
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
    case Kind::CommandDone:
        return QStringLiteral("command");
    }
    return QString();
}
