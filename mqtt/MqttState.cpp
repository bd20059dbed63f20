// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttState.h"

#include "link/Protocol.h"
#include "remote/LinkTarget.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
    return Protocol::Report::Alarms[int(kind)].mid(QLatin1String("ALARM: ").size());
}

QString AlarmText(const QString &name) {
    for (int k = 0; k < AlarmKinds; ++k)
        if (name == AlarmName(AlarmKind(k)))
            return QString::fromLatin1(remote::AlarmText(AlarmKind(k)));
    return name;
}

QString BandName(int band) {
    static const char *const names[] = {"160M",    "80M",     "40M", "30M/20M",
                                        "17M/15M", "12M/10M", "6M"};
    return band >= 1 && band <= 7 ? QLatin1String(names[band - 1]) : QString();
}

bool TunerState::operator==(const TunerState &o) const {
    return fitted == o.fitted && inLine == o.inLine && status == o.status && swr == o.swr &&
           inductanceUh == o.inductanceUh && capacitancePf == o.capacitancePf &&
           forwardW == o.forwardW;
}

bool MqttState::operator==(const MqttState &o) const {
    return phase == o.phase && port == o.port && current == o.current && band == o.band &&
           transmitting == o.transmitting && pttBlocked == o.pttBlocked && outputW == o.outputW &&
           reflectedW == o.reflectedW && peakW == o.peakW && swr == o.swr &&
           temperatureC == o.temperatureC && alarms == o.alarms && tuner == o.tuner &&
           firmware == o.firmware && paType == o.paType;
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
    o.insert(QStringLiteral("time"), IsoTime(time));
    return Compact(o);
}

QList<QByteArray> Events(const MqttState &before, const MqttState &after,
                         const std::optional<QStringList> &lastKnownAlarms, const QDateTime &time) {
    QList<QByteArray> events;
    const QString when = IsoTime(time);
    if (before.phase != after.phase) {
        QJsonObject e;
        e.insert(QStringLiteral("event"), QStringLiteral("connection"));
        e.insert(QStringLiteral("phase"), after.phase);
        e.insert(QStringLiteral("previous"), before.phase);
        e.insert(QStringLiteral("port"), Text(after.port));
        e.insert(QStringLiteral("time"), when);
        events << Compact(e);
    }
    if (!after.alarms)
        return events;
    const QStringList was = lastKnownAlarms.value_or(QStringList());
    auto alarmEvent = [&](const QString &name, bool active) {
        QJsonObject e;
        e.insert(QStringLiteral("event"),
                 active ? QStringLiteral("alarm") : QStringLiteral("alarm_end"));
        e.insert(QStringLiteral("alarm"), name);
        e.insert(QStringLiteral("text"), AlarmText(name));
        e.insert(QStringLiteral("time"), when);
        events << Compact(e);
    };
    for (const QString &name : was)
        if (!after.alarms->contains(name))
            alarmEvent(name, false);
    for (const QString &name : *after.alarms)
        if (!was.contains(name))
            alarmEvent(name, true);
    return events;
}

QByteArray DroppedEvent(int count, const QDateTime &time) {
    QJsonObject e;
    e.insert(QStringLiteral("event"), QStringLiteral("dropped"));
    e.insert(QStringLiteral("count"), count);
    e.insert(QStringLiteral("time"), IsoTime(time));
    return Compact(e);
}

} // namespace mqtt
