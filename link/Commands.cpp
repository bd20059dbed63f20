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
    case Kind::Rig:
        return QStringLiteral("rig ") + who;
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
    case Kind::Fan:
        return QStringLiteral("fan %1").arg(value);
    case Kind::Interface:
        return QStringLiteral("interface %1").arg(value);
    case Kind::AlarmSound:
        return QStringLiteral("alarm sound %1").arg(value);
    case Kind::BarSpeed:
        return QStringLiteral("bar speed %1").arg(value);
    case Kind::Tot:
        return QStringLiteral("TOT %1").arg(value);
    case Kind::SwrMin:
        return QStringLiteral("SWR min %1").arg(value);
    case Kind::Tuner:
        return value ? QStringLiteral("tuner in line") : QStringLiteral("tuner bypass");
    case Kind::Tune:
        return value ? QStringLiteral("fine tune") : QStringLiteral("tune");
    case Kind::ClearTunerMemory:
        return QStringLiteral("clear tuner memory");
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
