// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/StatusJson.h"

#include "link/AmpStatus.h"
#include "link/Facts.h"

#include <QJsonArray>

#include <optional>

namespace web {

namespace {

template <typename T> QJsonValue Opt(const std::optional<T> &v) {
    return v ? QJsonValue(double(*v)) : QJsonValue(QJsonValue::Null);
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
    const Readings &r = s.readings;
    QJsonObject o;
    o[QStringLiteral("phase")] = LivenessName(s.Liveness());
    const bool current = s.ReadingsCurrent();
    o[QStringLiteral("current")] = current;
    if (!current)
        return o;
    o[QStringLiteral("outputW")] = Opt(s.OutputW());
    o[QStringLiteral("reflectedW")] = Opt(s.ReflectedW());
    // The peak of the transmission under way, else the last one's.
    std::optional<int> peak = r.peakW;
    if (!r.Transmits() && s.lastTransmission)
        peak = s.lastTransmission->peakW;
    o[QStringLiteral("peakW")] = Opt(peak);
    o[QStringLiteral("swr")] = Opt(s.Swr());
    o[QStringLiteral("temperatureC")] = Opt(r.temperatureC);
    const std::optional<int> band = s.Band();
    o[QStringLiteral("band")] = Opt(band);
    o[QStringLiteral("bandName")] = band ? Facts::BandName(*band) : QString();
    o[QStringLiteral("manualBands")] = s.ManualBands();
    o[QStringLiteral("transmitting")] = r.Transmits();
    o[QStringLiteral("pttBlocked")] = r.pttBlocked;
    o[QStringLiteral("calibrated")] = r.Calibrated();
    o[QStringLiteral("outputLevel")] = r.alcKnown ? QJsonValue(int(r.alc)) : QJsonValue();
    QJsonArray alarms;
    for (int k = 0; k < AlarmKinds; ++k)
        if (r.alarms[std::size_t(k)])
            alarms.append(QString(Facts::AlarmFact(AlarmKind(k)).text));
    o[QStringLiteral("alarms")] = alarms;
    o[QStringLiteral("firmware")] = r.firmware;
    o[QStringLiteral("paType")] = r.firmware.isEmpty() ? QString() : Facts::PaTypeName(r.paType);
    if (r.tuner.fitted) {
        QJsonObject t;
        t[QStringLiteral("inLine")] =
            r.tuner.position == AtuSwitch::Initial ? QJsonValue() : QJsonValue(s.TunerInLine());
        t[QStringLiteral("status")] = Opt(r.tuner.status);
        t[QStringLiteral("lamp")] = LampName(r.tuner.lamp);
        t[QStringLiteral("swr")] = Opt(r.TunerSwr());
        t[QStringLiteral("inductanceUH")] = Opt(r.tuner.inductanceUH);
        t[QStringLiteral("capacitancePF")] = Opt(r.tuner.capacitancePF);
        t[QStringLiteral("forwardW")] = Opt(r.tuner.forwardW);
        o[QStringLiteral("tuner")] = t;
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
