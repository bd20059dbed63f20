// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Commands.h"

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

