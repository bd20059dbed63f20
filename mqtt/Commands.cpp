// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/Commands.h"

#include "link/Facts.h"

#include <cmath>

namespace mqtt {

namespace {

// Text from the broker as a reason (and the log) shows it: printable,
// shortened.
QString Printable(const QString &text) {
    QString s;
    for (const QChar c : text.left(40))
        s += (c.unicode() < 0x20 || c.unicode() == 0x7f) ? QLatin1Char('?') : c;
    return text.size() > 40 ? s + QStringLiteral("...") : s;
}

QString Shown(const QByteArray &payload) {
    return QLatin1Char('"') + Printable(QString::fromLatin1(payload)) + QLatin1Char('"');
}

} // namespace

QString CommandName(Command::Kind kind) {
    switch (kind) {
    case Command::Kind::Band:
        return QStringLiteral("band");
    case Command::Kind::Operate:
        return QStringLiteral("operate");
    case Command::Kind::Raw:
        return QStringLiteral("raw");
    case Command::Kind::RadioFollowing:
        return QStringLiteral("follow");
    }
    return QString();
}

QString ParseCommand(const QString &name, const QByteArray &payload, bool allowRaw, Command *out) {
    Command c;
    if (name == QLatin1String("band"))
        c.kind = Command::Kind::Band;
    else if (name == QLatin1String("operate"))
        c.kind = Command::Kind::Operate;
    else if (name == QLatin1String("raw"))
        c.kind = Command::Kind::Raw;
    else if (name == QLatin1String("follow"))
        c.kind = Command::Kind::RadioFollowing;
    else
        return QStringLiteral("unknown command %1: set/band, set/operate, set/follow or set/raw")
            .arg(name.isEmpty() ? QStringLiteral("set") : QStringLiteral("set/") + Printable(name));
    if (payload.size() > MaxCommandBytes)
        return QStringLiteral("set/%1: %2 bytes, at most %3")
            .arg(name)
            .arg(payload.size())
            .arg(MaxCommandBytes);
    const QByteArray text = payload.trimmed();
    switch (c.kind) {
    case Command::Kind::Band: {
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok || !std::isfinite(value) || value <= 0)
            return QStringLiteral("set/band %1: a band number 1..7 or a frequency in Hz")
                .arg(Shown(payload));
        if (value <= 7 && value == std::floor(value))
            c.band = int(value);
        else if (value < 1000) // no frequency: a band number out of range, or a fraction
            return QStringLiteral("set/band %1: a band number 1..7 or a frequency in Hz")
                .arg(Shown(payload));
        else if ((c.band = Facts::BandForFrequency(value)) == 0)
            return QStringLiteral("set/band %1: no band of the amplifier holds that frequency")
                .arg(Shown(payload));
        break;
    }
    case Command::Kind::Operate:
        if (text.compare("operate", Qt::CaseInsensitive) == 0)
            c.operate = true;
        else if (text.compare("standby", Qt::CaseInsensitive) != 0)
            return QStringLiteral("set/operate %1: \"operate\" or \"standby\"").arg(Shown(payload));
        break;
    case Command::Kind::RadioFollowing:
        if (text.compare("on", Qt::CaseInsensitive) == 0)
            c.follow = true;
        else if (text.compare("off", Qt::CaseInsensitive) != 0)
            return QStringLiteral("set/follow %1: \"on\" or \"off\"").arg(Shown(payload));
        break;
    case Command::Kind::Raw:
        if (!allowRaw)
            return QStringLiteral("set/raw: not allowed ([MQTT] AllowRaw=1 allows it)");
        if (text.isEmpty())
            return QStringLiteral("set/raw: an empty line");
        // The amplifier's lines are printable ASCII; nothing else goes to it.
        for (const char ch : text)
            if (uchar(ch) < 0x20 || uchar(ch) > 0x7e)
                return QStringLiteral("set/raw %1: one line of printable ASCII characters")
                    .arg(Shown(payload));
        c.line = text;
        break;
    }
    *out = c;
    return QString();
}

} // namespace mqtt
