// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/StatusJson.h"

#include "link/AmpStatus.h"
#include "link/Facts.h"
#include "link/StatusView.h"

#include <QJsonArray>

#include <optional>

namespace web {

namespace {

template <typename T> QJsonValue Opt(const std::optional<T> &v) {
    return v ? QJsonValue(double(*v)) : QJsonValue(QJsonValue::Null);
}

QJsonValue Bool(const std::optional<bool> &v) {
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

QString LampName(AtuLamp lamp) {
    switch (lamp) {
    case AtuLamp::Red:
        return QStringLiteral("red");
    case AtuLamp::Green:
        return QStringLiteral("green");
    case AtuLamp::Grey:
        return QStringLiteral("grey");
    case AtuLamp::Yellow:
        break;
    }
    return QStringLiteral("yellow");
}

} // namespace

QJsonObject StatusJson(const AmpStatus &s) {
    const StatusView v = ViewOf(s);
    QJsonObject o;
    o[QStringLiteral("phase")] = v.phase;
    o[QStringLiteral("current")] = v.current;
    if (!v.current)
        return o;
    // Each reading as the view has it now; one that is not current is null.
    o[QStringLiteral("outputW")] = Opt(v.outputW.Now());
    o[QStringLiteral("reflectedW")] = Opt(v.reflectedW.Now());
    o[QStringLiteral("peakW")] = Opt(v.peakW.Now());
    o[QStringLiteral("swr")] = Opt(v.swr.Now());
    o[QStringLiteral("temperatureC")] = Opt(v.temperatureC.Now());
    const std::optional<int> band = v.band.Now();
    o[QStringLiteral("band")] = Opt(band);
    o[QStringLiteral("bandName")] = band ? Facts::BandName(*band) : QString();
    o[QStringLiteral("manualBands")] = v.manualBands;
    o[QStringLiteral("transmitting")] = Bool(v.transmitting.Now());
    o[QStringLiteral("pttBlocked")] = Bool(v.pttBlocked.Now());
    o[QStringLiteral("calibrated")] = Bool(v.calibrated.Now());
    o[QStringLiteral("outputLevel")] = Opt(v.outputLevel.Now());
    if (const std::optional<QList<AlarmKind>> holding = v.alarms.Now()) {
        QJsonArray alarms;
        for (AlarmKind k : *holding)
            alarms.append(QString(Facts::AlarmFact(k).text));
        o[QStringLiteral("alarms")] = alarms;
    } else {
        o[QStringLiteral("alarms")] = QJsonValue(QJsonValue::Null);
    }
    const std::optional<QString> firmware = v.firmware.Now();
    o[QStringLiteral("firmware")] = firmware ? QJsonValue(*firmware) : QJsonValue();
    const std::optional<PaType> paType = v.paType.Now();
    o[QStringLiteral("paType")] = paType ? QJsonValue(Facts::PaTypeName(*paType)) : QJsonValue();
    if (v.tuner.fitted) {
        QJsonObject t;
        t[QStringLiteral("inLine")] = Bool(v.tuner.inLine);
        t[QStringLiteral("status")] = Opt(v.tuner.status.Now());
        t[QStringLiteral("lamp")] = LampName(v.tuner.lamp);
        t[QStringLiteral("swr")] = Opt(v.tuner.swr.Now());
        t[QStringLiteral("inductanceUH")] = Opt(v.tuner.inductanceUH.Now());
        t[QStringLiteral("capacitancePF")] = Opt(v.tuner.capacitancePF.Now());
        t[QStringLiteral("forwardW")] = Opt(v.tuner.forwardW.Now());
        o[QStringLiteral("tuner")] = t;
    }
    if (!v.rig.source.isEmpty()) {
        QJsonObject r;
        r[QStringLiteral("source")] = v.rig.source;
        r[QStringLiteral("connected")] = v.rig.connected;
        r[QStringLiteral("frequencyHz")] = Opt(v.rig.frequencyHz);
        r[QStringLiteral("band")] = Opt(v.rig.band);
        r[QStringLiteral("following")] = v.rig.following;
        r[QStringLiteral("why")] = v.rig.why;
        o[QStringLiteral("rig")] = r;
    }
    return o;
}

QJsonObject EventJson(const LinkEvent &e) {
    QString text;
    switch (e.kind) {
    case LinkEvent::Kind::AlarmStart:
        text = QStringLiteral("alarm: ") + QString(Facts::AlarmFact(e.alarm).text);
        break;
    case LinkEvent::Kind::AlarmEnd:
        text = QStringLiteral("alarm ended: ") + QString(Facts::AlarmFact(e.alarm).text);
        break;
    case LinkEvent::Kind::BandChanged:
        text = QStringLiteral("band %1").arg(Facts::BandName(e.band));
        break;
    case LinkEvent::Kind::PttChanged:
        text = e.blocked ? QStringLiteral("standby (PTT blocked)")
                         : QStringLiteral("operate (PTT free)");
        break;
    case LinkEvent::Kind::TransmitEnd:
        text = QStringLiteral("transmission: %1 s, peak %2 W")
                   .arg(double(e.transmission.DurationMs()) / 1000, 0, 'f', 1)
                   .arg(e.transmission.peakW);
        break;
    case LinkEvent::Kind::TuneResult:
        text = e.swr ? QStringLiteral("tuned: SWR %1").arg(*e.swr, 0, 'f', 2)
                     : QStringLiteral("tuned");
        break;
    case LinkEvent::Kind::CommandDone:
        text =
            QStringLiteral("%1 from %2: %3")
                .arg(e.outcome.command.Text(), e.outcome.command.source.Text(), e.outcome.Text());
        break;
    case LinkEvent::Kind::Identified:
    case LinkEvent::Kind::NoAnswer:
    case LinkEvent::Kind::AnswersAgain:
    case LinkEvent::Kind::Lost:
    case LinkEvent::Kind::Closed:
        text = QStringLiteral("connection: ") + LinkEvent::Name(e.kind);
        break;
    case LinkEvent::Kind::TunerFitted:
    case LinkEvent::Kind::TuneFinished:
    case LinkEvent::Kind::Message:
    case LinkEvent::Kind::Opened:
    case LinkEvent::Kind::Waiting:
    case LinkEvent::Kind::Back:
    case LinkEvent::Kind::TransmitStart:
        return QJsonObject();
    }
    QJsonObject o;
    o[QStringLiteral("type")] = QStringLiteral("event");
    o[QStringLiteral("text")] = text;
    return o;
}

} // namespace web
