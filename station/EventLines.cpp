// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/EventLines.h"

#include "link/Facts.h"
#include "link/LinkEvents.h"

QString EventLine(const LinkEvent &e) {
    const QString &name = e.port;
    switch (e.kind) {
    case LinkEvent::Kind::Opened:
    case LinkEvent::Kind::Back:
        return QStringLiteral("port %1 open, looking for the amplifier").arg(name);
    case LinkEvent::Kind::Identified:
        return QStringLiteral("amplifier connected on %1").arg(name);
    case LinkEvent::Kind::Closed:
        return QStringLiteral("port %1 closed").arg(name);
    case LinkEvent::Kind::Lost:
        // A loss right after the port opened is a port without an
        // amplifier, not a connection that went.
        if (e.left == Liveness::Connecting)
            return QStringLiteral("no amplifier on %1 (or the port went), waiting for it")
                .arg(name);
        return QStringLiteral("port %1 lost, waiting for it").arg(name);
    case LinkEvent::Kind::Waiting:
        return QStringLiteral("waiting for port %1").arg(name);
    case LinkEvent::Kind::NoAnswer:
        return QStringLiteral("no answer from the amplifier on %1").arg(name);
    case LinkEvent::Kind::AnswersAgain:
        return QStringLiteral("amplifier on %1 answers again").arg(name);
    case LinkEvent::Kind::TransmitEnd: {
        const Transmission &t = e.transmission;
        QString line =
            QStringLiteral("transmission%1: %2 s, average %3 W, peak %4 W")
                .arg(t.band ? QStringLiteral(" on ") + Facts::BandName(t.band) : QString())
                .arg(double(t.DurationMs()) / 1000, 0, 'f', 1)
                .arg(qRound(t.averageW))
                .arg(t.peakW);
        if (t.worstSwr)
            line += QStringLiteral(", worst SWR %1").arg(*t.worstSwr, 0, 'f', 2);
        return line;
    }
    case LinkEvent::Kind::BandChanged:
        return QStringLiteral("band %1 (%2)")
            .arg(Facts::BandName(e.band),
                 e.source ? e.source->Text() : QStringLiteral("the amplifier"));
    case LinkEvent::Kind::PttChanged:
        return QStringLiteral("PTT %1 (%2)")
            .arg(e.blocked ? QStringLiteral("blocked") : QStringLiteral("free"),
                 e.source ? e.source->Text() : QStringLiteral("the amplifier"));
    case LinkEvent::Kind::CommandDone:
        return QStringLiteral("command from %1: %2: %3")
            .arg(e.outcome.command.source.Text(), e.outcome.command.Text(), e.outcome.Text());
    case LinkEvent::Kind::AlarmStart:
        return QStringLiteral("alarm: ") + QString(Facts::AlarmFact(e.alarm).text);
    case LinkEvent::Kind::AlarmEnd:
        return QStringLiteral("alarm ended: ") + QString(Facts::AlarmFact(e.alarm).text);
    case LinkEvent::Kind::TunerFitted:
        return QStringLiteral("tuner fitted");
    case LinkEvent::Kind::TuneFinished:
        return QStringLiteral("tuning finished");
    case LinkEvent::Kind::Message:
        return (e.portGone ? QStringLiteral("port lost: ") : QStringLiteral("message: ")) + e.text;
    case LinkEvent::Kind::TransmitStart:
    case LinkEvent::Kind::TuneResult:
        break;
    }
    return QString();
}
