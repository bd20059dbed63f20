// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttState.h"

#include "link/Facts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace mqtt {

namespace {

template <typename T> QJsonValue Json(const std::optional<T> &v) {
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

QJsonValue Json(const std::optional<QStringList> &v) {
    return v ? QJsonValue(QJsonArray::fromStringList(*v)) : QJsonValue(QJsonValue::Null);
}

QJsonValue Text(const QString &s) {
    return s.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s);
}

QByteArray Compact(const QJsonObject &o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

QString AlarmName(AlarmKind kind) {
    return Facts::AlarmFact(kind).name;
}

QString AlarmText(const QString &name) {
    const std::optional<AlarmKind> kind = Facts::AlarmNamed(name);
    return kind ? QString(Facts::AlarmFact(*kind).text) : name;
}

QString BandName(int band) {
    return Facts::BandName(band);
}

bool TunerState::operator==(const TunerState &o) const {
    return fitted == o.fitted && inLine == o.inLine && status == o.status && swr == o.swr &&
           inductanceUh == o.inductanceUh && capacitancePf == o.capacitancePf &&
           forwardW == o.forwardW;
}

bool LastTransmission::operator==(const LastTransmission &o) const {
    return durationS == o.durationS && band == o.band && averageW == o.averageW &&
           peakW == o.peakW && worstSwr == o.worstSwr;
}

bool MqttState::operator==(const MqttState &o) const {
    return phase == o.phase && port == o.port && current == o.current && band == o.band &&
           transmitting == o.transmitting && pttBlocked == o.pttBlocked && outputW == o.outputW &&
           reflectedW == o.reflectedW && peakW == o.peakW && swr == o.swr &&
           temperatureC == o.temperatureC && alarms == o.alarms && tuner == o.tuner &&
           firmware == o.firmware && paType == o.paType && lastTransmission == o.lastTransmission &&
           rig == o.rig;
}

QString IsoTime(const QDateTime &time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QByteArray StateJson(const MqttState &s, const QDateTime &time) {
    QJsonObject o;
    o.insert(QStringLiteral("phase"), s.phase);
    o.insert(QStringLiteral("port"), Text(s.port));
    o.insert(QStringLiteral("band"), Json(s.band));
    o.insert(QStringLiteral("band_name"), s.band ? QJsonValue(BandName(*s.band)) : QJsonValue());
    o.insert(QStringLiteral("transmitting"), Json(s.transmitting));
    o.insert(QStringLiteral("ptt_blocked"), Json(s.pttBlocked));
    o.insert(QStringLiteral("output_w"), Json(s.outputW));
    o.insert(QStringLiteral("reflected_w"), Json(s.reflectedW));
    o.insert(QStringLiteral("peak_w"), Json(s.peakW));
    o.insert(QStringLiteral("swr"), Json(s.swr));
    o.insert(QStringLiteral("temperature_c"), Json(s.temperatureC));
    o.insert(QStringLiteral("alarms"), Json(s.alarms));
    if (s.tuner) {
        const TunerState &t = *s.tuner;
        QJsonObject tuner;
        tuner.insert(QStringLiteral("fitted"), t.fitted);
        tuner.insert(QStringLiteral("in_line"), Json(t.inLine));
        tuner.insert(QStringLiteral("status"), Json(t.status));
        tuner.insert(QStringLiteral("swr"), Json(t.swr));
        tuner.insert(QStringLiteral("inductance_uh"), Json(t.inductanceUh));
        tuner.insert(QStringLiteral("capacitance_pf"), Json(t.capacitancePf));
        tuner.insert(QStringLiteral("forward_w"), Json(t.forwardW));
        o.insert(QStringLiteral("tuner"), tuner);
    } else {
        o.insert(QStringLiteral("tuner"), QJsonValue());
    }
    o.insert(QStringLiteral("firmware"), Text(s.firmware));
    o.insert(QStringLiteral("pa_type"), Text(s.paType));
    if (const auto &t = s.lastTransmission) {
        QJsonObject last;
        last.insert(QStringLiteral("duration_s"), t->durationS);
        last.insert(QStringLiteral("band"), t->band ? QJsonValue(t->band) : QJsonValue());
        last.insert(QStringLiteral("band_name"),
                    t->band ? QJsonValue(BandName(t->band)) : QJsonValue());
        last.insert(QStringLiteral("average_w"), std::round(t->averageW));
        last.insert(QStringLiteral("peak_w"), t->peakW);
        last.insert(QStringLiteral("worst_swr"), Json(t->worstSwr));
        o.insert(QStringLiteral("last_transmission"), last);
    } else {
        o.insert(QStringLiteral("last_transmission"), QJsonValue());
    }
    if (const auto &r = s.rig) {
        QJsonObject rig;
        rig.insert(QStringLiteral("source"), r->source);
        rig.insert(QStringLiteral("connected"), r->connected);
        rig.insert(QStringLiteral("frequency_hz"),
                   r->frequencyHz ? QJsonValue(double(*r->frequencyHz)) : QJsonValue());
        rig.insert(QStringLiteral("band"), Json(r->band));
        rig.insert(QStringLiteral("following"), r->following);
        o.insert(QStringLiteral("rig"), rig);
    }
    o.insert(QStringLiteral("time"), IsoTime(time));
    return Compact(o);
}

QString PhaseAfter(LinkEvent::Kind kind) {
    switch (kind) {
    case LinkEvent::Kind::Opened:
    case LinkEvent::Kind::Back:
        return Phase::Connecting;
    case LinkEvent::Kind::Identified:
    case LinkEvent::Kind::AnswersAgain:
        return Phase::Connected;
    case LinkEvent::Kind::NoAnswer:
        return Phase::NoAnswer;
    case LinkEvent::Kind::Lost:
        return Phase::Lost;
    case LinkEvent::Kind::Waiting:
        return Phase::Waiting;
    case LinkEvent::Kind::Closed:
        return Phase::Closed;
    default:
        return QString();
    }
}

QByteArray EventJson(const LinkEvent &event, const QDateTime &time) {
    QJsonObject e;
    const QString phase = PhaseAfter(event.kind);
    if (!phase.isEmpty()) {
        e.insert(QStringLiteral("event"), QStringLiteral("connection"));
        e.insert(QStringLiteral("phase"), phase);
        e.insert(QStringLiteral("previous"), LivenessName(event.left));
        e.insert(QStringLiteral("port"), Text(event.port));
    } else if (event.kind == LinkEvent::Kind::AlarmStart ||
               event.kind == LinkEvent::Kind::AlarmEnd) {
        const QString name = AlarmName(event.alarm);
        e.insert(QStringLiteral("event"), event.kind == LinkEvent::Kind::AlarmStart
                                              ? QStringLiteral("alarm")
                                              : QStringLiteral("alarm_end"));
        e.insert(QStringLiteral("alarm"), name);
        e.insert(QStringLiteral("text"), AlarmText(name));
    } else if (event.kind == LinkEvent::Kind::TransmitEnd) {
        const Transmission &t = event.transmission;
        e.insert(QStringLiteral("event"), QStringLiteral("transmission"));
        e.insert(QStringLiteral("band"), t.band ? QJsonValue(t.band) : QJsonValue());
        e.insert(QStringLiteral("band_name"), Text(Facts::BandName(t.band)));
        e.insert(QStringLiteral("duration_s"), double(t.DurationMs()) / 1000);
        e.insert(QStringLiteral("average_w"), std::round(t.averageW));
        e.insert(QStringLiteral("peak_w"), t.peakW);
        e.insert(QStringLiteral("worst_swr"), Json(t.worstSwr));
        QStringList alarms;
        for (int a = 0; a < AlarmKinds; ++a)
            if (t.alarms & (1u << a))
                alarms << AlarmName(AlarmKind(a));
        e.insert(QStringLiteral("alarms"), QJsonArray::fromStringList(alarms));
    } else if (event.kind == LinkEvent::Kind::BandChanged) {
        e.insert(QStringLiteral("event"), QStringLiteral("band"));
        e.insert(QStringLiteral("band"), event.band);
        e.insert(QStringLiteral("band_name"), Text(Facts::BandName(event.band)));
        e.insert(QStringLiteral("source"), event.source ? QJsonValue(event.source->Text())
                                                        : QJsonValue(QStringLiteral("amplifier")));
    } else {
        return QByteArray();
    }
    e.insert(QStringLiteral("time"), IsoTime(time));
    return Compact(e);
}

QByteArray DroppedEvent(int count, const QDateTime &time) {
    QJsonObject e;
    e.insert(QStringLiteral("event"), QStringLiteral("dropped"));
    e.insert(QStringLiteral("count"), count);
    e.insert(QStringLiteral("time"), IsoTime(time));
    return Compact(e);
}

} // namespace mqtt
